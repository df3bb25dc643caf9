# The two commands of the README: `make run` (the main job on the sample address book) and
# `make test` (both architectures built, every test run under Wine). Both install what is missing.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps build build-x86_64 build-i686 test test-installer installer run bench clean fuzz

FUZZ_BUILD := $(BUILD)/fuzz
include fuzz/fuzz.mk
# Seconds each fuzz target runs: in `make test` (on its committed corpus) and in `make fuzz`.
FUZZ_CHECK_SECONDS ?= 4
FUZZ_SECONDS ?= 600

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/%/Makefile:
	cmake -S . -B $(BUILD)/$* -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$*.cmake $(CMAKE_FLAGS)

build-x86_64: deps $(BUILD)/x86_64/Makefile
	cmake --build $(BUILD)/x86_64 -j $(JOBS)

build-i686: deps $(BUILD)/i686/Makefile
	cmake --build $(BUILD)/i686 -j $(JOBS)

build: build-x86_64 build-i686

# No retry: a test that fails fails the run. Both architectures' suites run, each in its own Wine
# prefix, even when the first fails; then the fuzz targets run a few seconds each on their
# committed corpora (host build, sanitizers). The target fails when any step did.
CTEST_ARGS ?= --output-on-failure --timeout 120 -j 2
test: build
	@rc=0; \
	for arch in x86_64 i686; do \
	  echo "=== $$arch suite ==="; start=$$(date +%s); \
	  scripts/wine-session.sh $(BUILD)/$$arch -- ctest --test-dir $(BUILD)/$$arch $(CTEST_ARGS) || rc=1; \
	  echo "=== $$arch suite: $$(( $$(date +%s) - start )) s ==="; \
	done; \
	echo "=== fuzz targets ==="; start=$$(date +%s); \
	{ $(MAKE) --no-print-directory fuzz-build -j $(JOBS) && \
	  fuzz/run.sh check $(FUZZ_BUILD) $(FUZZ_CHECK_SECONDS); } || rc=1; \
	echo "=== fuzz targets: $$(( $$(date +%s) - start )) s ==="; \
	exit $$rc

# Every fuzz target at once under nice, FUZZ_SECONDS each; new inputs and faults in $$FUZZ_WORK
# (default /tmp/quillon-fuzz), outside the repository.
fuzz: deps
	$(MAKE) --no-print-directory fuzz-build -j $(JOBS)
	fuzz/run.sh long $(FUZZ_BUILD) $(FUZZ_SECONDS)

# QuillonSetup-<version>.exe in $(BUILD)/i686/installer, from stripped copies of the i686 build.
installer: build-i686
	scripts/build-installer.sh $(BUILD)/i686 $(BUILD)/i686/installer

# The setup made from the i686 build, run in a fresh Wine prefix of its own (one to three minutes);
# the i686 suite of `make test` runs it too.
test-installer: build-i686
	ctest --test-dir $(BUILD)/i686 -R '^installer_tests$$' --output-on-failure --timeout 480

run: build-x86_64
	scripts/run-main.sh $(BUILD)/x86_64

bench: build-x86_64
	scripts/wine-session.sh $(BUILD)/x86_64 -- scripts/run-bench.sh $(BUILD)/x86_64

clean:
	rm -rf $(BUILD)
