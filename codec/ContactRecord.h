// The values of one contact, as every format writes them and reads them back: the export fills a
// record from a contact and hands it to a writer, a reader fills one per card and the import writes
// the contact from it. Which address-book property each member is, and how it is compared, is one
// table above the codec (contact/ContactFields.cpp), so that a field is added with one member here
// and one row there. Nothing here knows Windows, so the writers and readers build on a host too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A date: present only when the contact's value could be read (or the card gave a valid one).
// File time, UTC, 100 ns since 1601-01-01.
struct CContactDate {
    bool present = false;
    uint64_t fileTime = 0;
};

// Texts are UTF-16; a value the contact lacks is empty (texts, lists), absent (dates, gender) or
// -1 (the default address's index).
struct CContactRecord {
    // The seven parts of a postal address, in vCard order.
    enum AddressPart { kPoBox, kExtended, kStreet, kLocality, kRegion, kPostalCode, kCountry,
                       kAddressParts };

    std::wstring givenName, middleName, surname, namePrefix, displayName, nickname;
    // The part of a name after the surname (Jr., III), the contact's generation.
    std::wstring nameSuffix;
    std::wstring company, department, title, comment;
    std::wstring assistant, manager;
    // The business address's extended part is the office location; the home and other addresses
    // have none.
    std::wstring business[kAddressParts];
    std::wstring home[kAddressParts];
    std::wstring other[kAddressParts];
    std::wstring businessPhone, businessFax, homePhone, homeFax, mobilePhone, pager;
    // The telephones beyond the first six, each of its own kind in the address book.
    std::wstring carPhone, primaryPhone, business2Phone, home2Phone, otherPhone, companyMainPhone,
        callbackPhone, isdnNumber, radioPhone, telexNumber, ttyTddPhone, assistantPhone, otherFax;
    std::wstring personalHomePage, businessHomePage;
    // The e-mail list with its types (as long as the list, where the format gives them) and the
    // default address, which the contact also keeps with its type on their own.
    std::vector<std::wstring> emails, emailTypes;
    long defaultAddressIndex = -1;
    std::wstring emailAddress, addrType;
    std::wstring spouse;
    std::vector<std::wstring> conferencingServers, children;
    // The names of the groups the contact belongs to, in the groups' order.
    std::vector<std::wstring> groups;
    // Digital IDs: each certificate's encoded bytes (DER), as a card's KEY carries it.
    std::vector<std::string> certificates;
    // A group's own card (KIND:group) rather than a contact's: the group's name is the display
    // name, and these are the addresses it keeps only in itself (the names may be empty).
    bool isGroup = false;
    std::vector<std::wstring> oneOffNames, oneOffAddresses;
    bool hasGender = false;
    short gender = 0;
    CContactDate birthday, anniversary, modified;

    // The name messages give the record: its display name, else its name parts and company.
    std::wstring Name() const;
    // What a reader's first e-mail address is: the default one, which the contact also keeps on
    // its own with its type. Nothing without addresses.
    void DefaultToFirstEmail();
    // Empties every field, keeping the texts' room: the next contact's texts are mostly as long,
    // and then cost no allocation.
    void Clear();
    // Every text field and list entry.
    std::vector<const std::wstring*> Texts() const;
    std::vector<std::wstring*> Texts();
};
