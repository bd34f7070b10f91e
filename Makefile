# Thin front over CMake. `make run` and `make test` do all the set-up.
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build/asan
FUZZ_BUILD := build/fuzz
FUZZ_SECONDS ?= 60

# intercept_tls_get_addr=0: the leak checker's tracer faults on a bogus
# dynamic-TLS range (seen at the exit of a font test) when it tracks the
# dynamic TLS of the libraries the GL driver loads.
export ASAN_OPTIONS := detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0
export LSAN_OPTIONS := suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS := print_stacktrace=1:halt_on_error=1

WEB_LIBS := build/wasm-libs
WEB_BUILD := build/web-build
WEB_OUT := build/web
WEB_PORT ?= 8080
# Node 20's module layout: emscripten's optimizer finds acorn there.
export NODE_PATH := /usr/share/nodejs

.PHONY: all deps build asan run test test-plain test-asan test-web memcheck fuzz fuzz-deps fuzz-build bench clean \
        web web-deps web-libs web-run docs

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORBELLINE_SANITIZE=ON

$(FUZZ_BUILD)/CMakeCache.txt: | fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBELLINE_FUZZ=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# llvmpipe on one thread here: LeakSanitizer stops every thread to scan for
# leaks at exit, and the driver's worker threads winding down at that moment
# have crashed its tracer now and then.
test-asan: asan
	cd $(ASAN_BUILD) && LP_NUM_THREADS=0 ctest --output-on-failure -j $(JOBS)

# clang and its fuzzer runtime only for the fuzz tree, not for every test run.
fuzz-deps: deps
	@bash scripts/install-deps.sh clang libclang-rt-14-dev

fuzz-build: fuzz-deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) --target fuzzers -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600), one at a
# time, from seeds written by the normal build's seed writer and its pack.
fuzz: build fuzz-build
	$(BUILD)/bin/orbelline-fuzz-seeds $(BUILD)/fuzz-seeds $(BUILD)/bundle/Data/Orbelline.res.pak
	FUZZ_BUILD=$(CURDIR)/$(FUZZ_BUILD) FUZZ_SEEDS=$(CURDIR)/$(BUILD)/fuzz-seeds FUZZ_SECONDS=$(FUZZ_SECONDS) \
	  bash fuzz/run.sh

# The API reference from the public headers (installs doxygen on demand);
# any Doxygen warning fails it.
docs:
	@bash scripts/install-deps.sh doxygen
	@mkdir -p $(BUILD)/docs
	DOCS_SRC=$(CURDIR) DOCS_OUT=$(CURDIR)/$(BUILD)/docs doxygen docs/api/Doxyfile
	@echo "docs: $(BUILD)/docs/html/index.html"

# The browser build. emscripten, chromium and the wasm libraries (built once
# from Debian's source packages into build/wasm-libs) come on first use; the
# resource pack is the native build's.
web-deps: deps
	@bash scripts/install-web-deps.sh

web-libs: web-deps
	@bash scripts/build-wasm-libs.sh $(WEB_LIBS)

$(WEB_BUILD)/CMakeCache.txt: | web-libs
	emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_PREFIX_PATH=$(CURDIR)/$(WEB_LIBS)/prefix -DCMAKE_FIND_ROOT_PATH=$(CURDIR)/$(WEB_LIBS)/prefix

web: deps $(BUILD)/CMakeCache.txt web-libs $(WEB_BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target bundle -j $(JOBS)
	cmake --build $(WEB_BUILD) --target orbelline -j $(JOBS)
	@bash scripts/web-assemble.sh $(WEB_BUILD) $(BUILD) $(WEB_OUT)

web-run: web
	node scripts/web-serve.mjs --port $(WEB_PORT) $(WEB_OUT)

# The browser tests: the page in Debian's chromium, driven through
# playwright-core (pinned in tests/web/package-lock.json).
test-web: web build
	cd tests/web && npm ci --no-audit --no-fund --silent
	node --test tests/web/

# Every test, once in the normal build and once under ASan and UBSan. The
# browser tests are `make test-web` (they build the wasm libraries first).
test: test-plain test-asan

# A scripted headless session under valgrind: no error, nothing lost.
memcheck: build
	@bash scripts/memcheck.sh $(BUILD)

# Every benchmark beside its floor, a few minutes in all; not part of `test`.
# The table goes to build/bench/summary.md.
bench: deps $(BUILD)/CMakeCache.txt
	@bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
