# Quillory: make run builds the programs and previews a Markdown file, make test builds
# everything and runs every test.
BUILD ?= build
FILE ?= examples/tour.md
OUT ?= $(BUILD)/$(basename $(notdir $(FILE))).html
JOBS ?= $(shell nproc)
# Compiler warnings stop the build in CI (where CI is set), elsewhere only when WERROR=ON.
WERROR ?= $(if $(CI),ON,OFF)
CONFIGURE = cmake -S . -G Ninja -DQUILLORY_WERROR=$(WERROR)

.PHONY: run build build-all test deb test-asan test-tsan fuzz bootstrap bootstrap-test format clean

# The programs alone need neither the test tooling nor the tests: make run installs and
# builds only what running them needs. make test turns the tests on in the same build
# directory (the programs are not rebuilt), make run turns them off again.
run: bootstrap build
	./$(BUILD)/quillory -o $(OUT) $(FILE)
	@echo "Preview written to $(OUT)"

bootstrap:
	@scripts/bootstrap

bootstrap-test:
	@scripts/bootstrap --test

build:
	$(CONFIGURE) -B $(BUILD) -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j $(JOBS)

build-all:
	$(CONFIGURE) -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)

test: bootstrap-test build-all
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The Debian package of both programs, from a Release build of its own, for /usr:
# $(DEB_BUILD)/quillory_VERSION_ARCH.deb (apt-get install ./build-deb/quillory_*.deb).
DEB_BUILD ?= build-deb

deb:
	@scripts/bootstrap --package
	$(CONFIGURE) -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack
	@ls $(DEB_BUILD)/*.deb

# Sanitizer builds instrument our code; SpiderMonkey, ICU, GTK and WebKit come from Debian
# uninstrumented. GCC 12 warns falsely (maybe-uninitialized) inside <regex> under the
# sanitizers, hence -Wno-maybe-uninitialized there. The package tests (label "package") are
# left out: they would install the instrumented programs.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
ASAN_FLAGS = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
# The engine runs under AddressSanitizer's defaults (its fault handlers serve WebAssembly,
# which nothing here runs). Leaks are reported, except in the preview window: GTK, WebKit
# and fontconfig keep caches until exit and their reports hold no frame of ours.
UBSAN_ENV = UBSAN_OPTIONS=print_stacktrace=1

test-asan: bootstrap-test
	$(CONFIGURE) -B $(ASAN_BUILD) "-DCMAKE_CXX_FLAGS=$(ASAN_FLAGS) -Wno-maybe-uninitialized" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(UBSAN_ENV) ASAN_OPTIONS=detect_leaks=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -E '^viewer\.' -LE package
	$(UBSAN_ENV) ASAN_OPTIONS=detect_leaks=0 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -R '^viewer\.'

# The unit tests (label "unit", tests/CMakeLists.txt): their code runs the executor's threads.
test-tsan: bootstrap-test
	$(CONFIGURE) -B $(TSAN_BUILD) "-DCMAKE_CXX_FLAGS=-fsanitize=thread -Wno-maybe-uninitialized" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread"
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target unit_tests quillory conversion_host
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/sanitizers/tsan_suppressions.txt" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -L unit

# libFuzzer harnesses (fuzz/), built with clang into their own directory and run for
# FUZZ_SECONDS each from the seed corpora in fuzz/corpus/; then the markup disarm against
# parse5 over DISARM_FRAGMENTS generated fragments (make test runs 500).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
DISARM_FRAGMENTS ?= 50000
DISARM_SEED ?= $(shell date +%s)

fuzz: bootstrap-test build-all
	CXX=clang++-14 $(CONFIGURE) -B $(FUZZ_BUILD) -DQUILLORY_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)
	node tests/differential/markup_disarm.mjs $(BUILD)/conversion_host $(BUILD)/quillory \
	  $(DISARM_FRAGMENTS) $(DISARM_SEED)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(DEB_BUILD)
