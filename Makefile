# The two commands a newcomer needs: `make run` starts the menu, `make test`
# runs every test. Both install what they need first (as does `make
# install`); the other targets expect the packages to be there already.
BUILD ?= build
ASAN_BUILD ?= build-asan
COVERAGE_BUILD ?= build-coverage
JOBS ?= $(shell nproc)
# Most tests wait on X servers and programs rather than compute: one more
# than the cores keeps them busy.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) + 1 )))
SOURCES = $(shell git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps test-deps build run test bench clean coverage install screenshots format check-format

all: build

deps:
	@scripts/install-deps

# The tests also open slate-run's HTML report in a browser (headless
# Chromium) and check its JUnit XML against a schema (xmllint).
test-deps:
	@scripts/install-deps chromium libxml2-utils

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The menu with its pictures drawn for this display's scale. Without a
# display, slate-run plays app/menu.run on a private X server: every button,
# every window closed again, the close box, a screenshot of each screen.
RUN_DIR = $(abspath $(BUILD))
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target zindra zindra-pictures slate-run
	@if [ -n "$$DISPLAY" ] && xdpyinfo >/dev/null 2>&1; then \
	  mkdir -p $(RUN_DIR)/run && $(RUN_DIR)/app/zindra-pictures $(RUN_DIR)/run && cd $(RUN_DIR)/run && \
	  echo "Starting ZINDRA in $(RUN_DIR)/run: click the buttons of the menu, close its windows to quit." && \
	  exec ../app/zindra || exit 1; \
	fi; \
	echo "No display$${DISPLAY:+ at $$DISPLAY}: playing app/menu.run on a private X server."; \
	rm -rf $(RUN_DIR)/screenshots && mkdir -p $(RUN_DIR)/screenshots && cd $(RUN_DIR)/screenshots && \
	$(RUN_DIR)/bin/slate-run --dir $(RUN_DIR)/app --script $(CURDIR)/app/menu.run -- $(RUN_DIR)/app/zindra && \
	echo "Screenshots in $(RUN_DIR)/screenshots:" && ls $(RUN_DIR)/screenshots

# Two passes: the normal build, then the programs where memory errors can
# hide, built with AddressSanitizer and UndefinedBehaviorSanitizer, which
# fail on any report of any of their processes. Every test program runs on
# an X server of its own. The second pass runs only when the first has
# passed, so the summary printed last is always the one that matters.
test: test-deps $(BUILD)/CMakeCache.txt $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target test-programs
	cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS)
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target test-programs
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(TEST_JOBS)

# The sanitizer build registers scripts/sanitizer-check as the launcher of
# its tests. UndefinedBehaviorSanitizer is linked statically: only then does
# its runtime, next to AddressSanitizer's, write its reports where the
# launcher collects them.
$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSLATE_SANITIZE=ON -DSLATE_BENCH=OFF \
	  -DCMAKE_EXE_LINKER_FLAGS=-static-libubsan

bench: build
	@scripts/with-xvfb scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(COVERAGE_BUILD) $(FUZZ_BUILD)

# Line and branch coverage of lib/ and app/ over the whole suite, written to
# $(COVERAGE_BUILD)/coverage (HTML) and docs/coverage.md.
$(COVERAGE_BUILD)/CMakeCache.txt:
	cmake -S . -B $(COVERAGE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSLATE_COVERAGE=ON -DSLATE_BENCH=OFF

coverage: $(COVERAGE_BUILD)/CMakeCache.txt
	cmake --build $(COVERAGE_BUILD) -j $(JOBS) --target test-programs
	@scripts/coverage $(COVERAGE_BUILD) $(JOBS)

# `make install PREFIX=/some/dir` installs libslate.a, slate.h, the CMake
# package, slate.pc and slate-run there (default /usr/local).
PREFIX ?= /usr/local

install: deps build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Pictures of the examples and of the menu's screens, in docs/, taken by
# slate-run playing examples/*.run and app/menu.run; and the ship example
# on screens of 47 and 132 px/cm, side by side.
screenshots: build
	@scripts/screenshots $(BUILD)
	@scripts/scales $(BUILD)

format:
	clang-format -i $(SOURCES)

check-format:
	clang-format --dry-run -Werror $(SOURCES)

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
FUZZ_SOURCES = $(filter-out lib/main.cpp,$(wildcard lib/*.cpp)) fuzz/picture_fuzz.cpp
.PHONY: fuzz fuzz-deps

# Like every target but run, test and install, fuzz installs nothing itself.
fuzz-deps:
	@command -v $(FUZZ_CXX) >/dev/null && ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || \
	  { echo "make fuzz needs clang 14 and libFuzzer: scripts/install-deps clang-14 libclang-rt-14-dev"; exit 1; }

# The fuzz target checks the picture check (lib/picture_check.h) against libXpm.
$(FUZZ_BUILD)/picture_fuzz: $(FUZZ_SOURCES) $(wildcard lib/*.h) include/slate.h | fuzz-deps
	@mkdir -p $(FUZZ_BUILD)
	$(FUZZ_CXX) -std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
	  -fno-sanitize-recover=all -Wall -Wextra -Iinclude -Ilib $$(pkg-config --cflags xft) $(FUZZ_SOURCES) \
	  $$(pkg-config --libs xft fontconfig freetype2) -lXpm -lXrender -lpng -lX11 -o $@

fuzz: $(FUZZ_BUILD)/picture_fuzz
	@mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/artifacts
	scripts/with-xvfb $(FUZZ_BUILD)/picture_fuzz $(FUZZ_BUILD)/corpus tests/pictures \
	  -dict=fuzz/picture.dict -max_len=$(FUZZ_MAX_LEN) -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	  -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/ $(FUZZ_FLAGS)
	@echo "fuzz: corpus $$(ls $(FUZZ_BUILD)/corpus | wc -l) inputs ($$(du -sk $(FUZZ_BUILD)/corpus | cut -f1) KiB) in $(FUZZ_BUILD)/corpus"
