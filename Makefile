# Thin wrapper over the CMake presets. `make run` and `make test` install what is missing.
JOBS ?= $(shell nproc)

.PHONY: all deps build debug asan run test test-default test-asan fuzz bench format clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

debug: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)

asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

run: build
	@scripts/run

test-default: build
	ctest --preset default

test-asan: asan
	ctest --preset asan

fuzz: deps
	@scripts/fuzz-smoke

test: test-default test-asan fuzz

bench: build
	@scripts/bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build out
