# The two commands a newcomer needs: `make run` starts the menu, `make test`
# runs every test. Both install what they need first.
BUILD ?= build
ASAN_BUILD ?= build-asan
COVERAGE_BUILD ?= build-coverage
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench clean coverage

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-menu $(BUILD)

# Two passes: the normal build, then the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer, whose tests (and every
# process they start) fail on any sanitizer report. The second pass runs
# only when the first has passed, so the summary printed last is always the
# one that matters.
test: build $(ASAN_BUILD)/CMakeCache.txt
	cd $(BUILD) && $(CURDIR)/scripts/with-xvfb ctest --output-on-failure -j $(JOBS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(CURDIR)/scripts/with-xvfb ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/with-xvfb scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(COVERAGE_BUILD)

# The sanitizer build registers scripts/sanitizer-check as the launcher of
# its tests (CMake runs tests through the "emulator" of their executable).
# UndefinedBehaviorSanitizer is linked statically: only then does its
# runtime, next to AddressSanitizer's, write its reports where the launcher
# collects them.
$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSLATE_SANITIZE=ON -DSLATE_BENCH=OFF \
	  -DCMAKE_EXE_LINKER_FLAGS=-static-libubsan -DCMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/scripts/sanitizer-check

# Line and branch coverage of lib/ and app/ over the whole suite, written to
# $(COVERAGE_BUILD)/coverage (HTML) and summed up on the terminal.
$(COVERAGE_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(COVERAGE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSLATE_COVERAGE=ON -DSLATE_BENCH=OFF

coverage: deps $(COVERAGE_BUILD)/CMakeCache.txt
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	@scripts/coverage $(COVERAGE_BUILD) $(JOBS)

# `make install PREFIX=/some/dir` installs libslate.a, slate.h, the CMake
# package and slate.pc there (default /usr/local).
PREFIX ?= /usr/local
.PHONY: install screenshots

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Runs every example on a private X server and saves docs/<example>.png.
screenshots: build
	@scripts/screenshots $(BUILD)

# Fuzzing of the picture check: `make fuzz` builds fuzz/picture_fuzz.cpp with
# libFuzzer and the sanitizers into $(FUZZ_BUILD) and runs it for
# FUZZ_SECONDS seconds on a private X server, seeded with tests/pictures.
# The corpus it grows stays in $(FUZZ_BUILD)/corpus for the next run;
# crashing inputs go to $(FUZZ_BUILD)/artifacts. FUZZ_FLAGS passes more
# libFuzzer options, e.g. FUZZ_FLAGS=-len_control=0 to try long inputs at once.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_MAX_LEN ?= 20000
FUZZ_CXX ?= clang++-14
FUZZ_FLAGS ?=
FUZZ_SOURCES = $(filter-out lib/main.cpp lib/bitmap.cpp,$(wildcard lib/*.cpp)) fuzz/picture_fuzz.cpp
.PHONY: fuzz fuzz-deps

fuzz-deps: deps
	@fuzz/install-deps

# lib/bitmap.cpp is compiled as part of fuzz/picture_fuzz.cpp, which reads its internals.
$(FUZZ_BUILD)/picture_fuzz: $(FUZZ_SOURCES) lib/bitmap.cpp $(wildcard lib/*.h) include/slate.h | fuzz-deps
	@mkdir -p $(FUZZ_BUILD)
	$(FUZZ_CXX) -std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
	  -fno-sanitize-recover=all -Wall -Wextra -Iinclude -Ilib $(FUZZ_SOURCES) -lXpm -lX11 -o $@

fuzz: $(FUZZ_BUILD)/picture_fuzz
	@mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/artifacts
	scripts/with-xvfb $(FUZZ_BUILD)/picture_fuzz $(FUZZ_BUILD)/corpus tests/pictures \
	  -dict=fuzz/picture.dict -max_len=$(FUZZ_MAX_LEN) -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	  -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/ $(FUZZ_FLAGS)
	@echo "fuzz: corpus $$(ls $(FUZZ_BUILD)/corpus | wc -l) inputs ($$(du -sk $(FUZZ_BUILD)/corpus | cut -f1) KiB) in $(FUZZ_BUILD)/corpus"
