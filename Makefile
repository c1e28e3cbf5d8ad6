# The two entry points of the README: `make run` and `make test`; `make bench` measures, `make
# soak` runs a simulated day on a noisy radio and `make package` builds the Debian packages.
# `make run` and `make package` install and build only what the programs need; the rest (the
# tests' libraries, clang, the mail servers, lintian, ...) comes with `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= 2
CTEST_ARGS ?= --output-on-failure --timeout 300 -j $(JOBS)
# Seconds each fuzz target runs: in `make test`, and in `make fuzz`.
FUZZ_TEST_SECONDS ?= 5
FUZZ_SECONDS      ?= 60

.PHONY: run test bench soak fuzz deps deps-run deps-package configure build build-asan build-fuzz \
        package format clean

deps:
	@bash scripts/install-deps.sh test
deps-run:
	@bash scripts/install-deps.sh run
deps-package:
	@bash scripts/install-deps.sh package

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WERROR=ON \
            -DCMAKE_INSTALL_PREFIX=/usr

# With the tests; a build folder that `make run` made without them gets them now.
configure: deps
	@[ -f $(BUILD)/build.ninja ] && grep -qx 'VELORA_TESTS:BOOL=ON' $(BUILD)/CMakeCache.txt || \
	  $(CONFIGURE) -DVELORA_TESTS=ON >/dev/null

# An existing build folder as it is; a new one without the tests, so GoogleTest is not needed.
CONFIGURE_PROGRAMS = [ -f $(BUILD)/build.ninja ] || $(CONFIGURE) -DVELORA_TESTS=OFF >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@[ -f $(ASAN_BUILD)/build.ninja ] || cmake -S . -B $(ASAN_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DVELORA_SANITIZE=ON -DVELORA_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

# The core and its libFuzzer targets, built with clang.
build-fuzz: deps
	@[ -f $(FUZZ_BUILD)/build.ninja ] || cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DVELORA_FUZZ=ON \
	  -DVELORA_WERROR=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

test: build build-asan build-fuzz
	ctest --test-dir $(BUILD) $(CTEST_ARGS)
	ctest --test-dir $(ASAN_BUILD) $(CTEST_ARGS)
	FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) ctest --test-dir $(FUZZ_BUILD) $(CTEST_ARGS)

# Each fuzz target for FUZZ_SECONDS; what they find stays in $(FUZZ_BUILD)/tests/fuzz/work/.
fuzz: build-fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --test-dir $(FUZZ_BUILD) --output-on-failure \
	  --timeout $$(( $(FUZZ_SECONDS) + 300 )) -j $(JOBS)

# Only the two programs, not the tests.
run: deps-run
	@$(CONFIGURE_PROGRAMS)
	@cmake --build $(BUILD) -j $(JOBS) --target velora velorad
	@bash scripts/run.sh $(BUILD)

# A few minutes: real time on the virtual radio and a pseudo-terminal, then virtual time.
bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target velora_bench
	@$(BUILD)/tools/velora_bench --out docs/benchmarks.md

# A few minutes: 50 scripted calculators for a simulated day on a noisy radio; prints the counts.
SOAK_SECONDS  ?= 86400
SOAK_STATIONS ?= 50
soak: configure
	@cmake --build $(BUILD) -j $(JOBS) --target e2e_tests
	@VELORA_SOAK_SECONDS=$(SOAK_SECONDS) VELORA_SOAK_STATIONS=$(SOAK_STATIONS) \
	  $(BUILD)/tests/e2e/e2e_tests --gtest_filter='NoisyRadioSoak.*'

# The Debian packages velora-server and velora-desktop (without the tests): $(BUILD)/package/.
package: deps-package
	@$(CONFIGURE_PROGRAMS)
	@cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target velora velorad velora_docs
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@ls $(BUILD)/package/velora-server_*.deb $(BUILD)/package/velora-desktop_*.deb

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
