#!/usr/bin/perl
# The cards on standard input as Perl's Text::vCard (Debian's libtext-vcard-perl) reads them, one
# JSON line per card with the fields check_readers.py compares.
use strict;
use warnings;
use JSON::PP;
use Text::vCard::Addressbook;

binmode STDIN, ':encoding(UTF-8)';
binmode STDOUT, ':encoding(UTF-8)';
my $text = do { local $/; <STDIN> };
my $book = Text::vCard::Addressbook->new({ source_text => $text });
my $json = JSON::PP->new->canonical;
for my $card ($book->vcards) {
    my $value = sub { my $n = $card->get({ node_type => $_[0] }); $n && @$n ? ($n->[0]->value // '') : '' };
    my $name = $card->get({ node_type => 'name' });
    my @n = $name && @$name ? map { $name->[0]->$_ // '' } qw(family given middle prefixes) : ('', '', '', '');
    my @tel = map { $_->value // '' } @{ $card->get({ node_type => 'tel' }) || [] };
    my @email = map { $_->value // '' } @{ $card->get({ node_type => 'email' }) || [] };
    my @adr = map { my $a = $_; [ map { $a->$_ // '' } qw(street city region post_code country) ] }
              @{ $card->get({ node_type => 'addresses' }) || [] };
    print $json->encode({ fn => $card->fullname // '', n => \@n, tel => \@tel, email => \@email,
                          adr => \@adr, note => $value->('note'), bday => $card->bday // '' }), "\n";
}
