# The fuzz targets, built for this host with clang, libFuzzer, AddressSanitizer and UBSan from the
# same sources Quillon is built from (their Windows-free units). Included by the Makefile; the
# objects and programs go to $(FUZZ_BUILD).
FUZZ_BUILD ?= build/fuzz
FUZZ_CXX   ?= $(shell command -v clang++ || command -v clang++-14)
FUZZ_FLAGS := -std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined \
              -fno-sanitize-recover=undefined -I. -Wall -Wextra

FUZZ_TARGETS := reader roundtrip commandline encodings store csv_reader ldif_reader csv_roundtrip
fuzz_reader_SOURCES      := fuzz/fuzz_reader.cpp codec/ContactRecord.cpp codec/vcard/vCardText.cpp codec/vcard/vCardValues.cpp \
                            codec/vcard/CardReader.cpp fuzz/hostcodepages.cpp
fuzz_roundtrip_SOURCES   := fuzz/fuzz_roundtrip.cpp codec/ContactRecord.cpp codec/vcard/CardText.cpp codec/vcard/vCardText.cpp \
                            codec/vcard/vCardValues.cpp codec/vcard/CardReader.cpp fuzz/hostcodepages.cpp
fuzz_commandline_SOURCES := fuzz/fuzz_commandline.cpp app/CommandLineText.cpp
fuzz_encodings_SOURCES   := fuzz/fuzz_encodings.cpp contact/EncodingsText.cpp
fuzz_store_SOURCES       := fuzz/fuzz_store.cpp standins/wab32/storerecords.cpp
fuzz_formats_SOURCES     := codec/ContactRecord.cpp codec/vcard/vCardText.cpp codec/vcard/vCardValues.cpp \
                            codec/vcard/CardReader.cpp codec/vcard/CardText.cpp codec/csv/CsvColumns.cpp \
                            codec/csv/CsvText.cpp codec/ldif/LdifReader.cpp fuzz/hostcodepages.cpp
fuzz_csv_reader_SOURCES    := fuzz/fuzz_csv_reader.cpp $(fuzz_formats_SOURCES)
fuzz_ldif_reader_SOURCES   := fuzz/fuzz_ldif_reader.cpp $(fuzz_formats_SOURCES)
fuzz_csv_roundtrip_SOURCES := fuzz/fuzz_csv_roundtrip.cpp $(fuzz_formats_SOURCES)

fuzz_obj = $(patsubst %.cpp,$(FUZZ_BUILD)/obj/%.o,$(1))

$(FUZZ_BUILD)/obj/%.o: %.cpp
	@mkdir -p $(dir $@)
	$(FUZZ_CXX) $(FUZZ_FLAGS) -fsanitize=fuzzer-no-link -MMD -MP -c $< -o $@

define fuzz_link
$(FUZZ_BUILD)/fuzz_$(1): $(call fuzz_obj,$(fuzz_$(1)_SOURCES))
	$$(FUZZ_CXX) $$(FUZZ_FLAGS) -fsanitize=fuzzer $$^ -o $$@
endef
$(foreach t,$(FUZZ_TARGETS),$(eval $(call fuzz_link,$(t))))

.PHONY: fuzz-build
fuzz-build: $(foreach t,$(FUZZ_TARGETS),$(FUZZ_BUILD)/fuzz_$(t))

-include $(shell find $(FUZZ_BUILD)/obj -name '*.d' 2>/dev/null)
