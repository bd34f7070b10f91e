# Thin front over CMake. `make run` and `make test` do all the set-up.
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build/asan

export ASAN_OPTIONS := detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS := suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS := print_stacktrace=1:halt_on_error=1

.PHONY: all deps build asan run test test-plain test-asan memcheck bench clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORBELLINE_SANITIZE=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# Every test, once in the normal build and once under ASan and UBSan.
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
