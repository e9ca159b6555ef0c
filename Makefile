# Thin wrapper over the CMake presets. `make run` and `make test` install what is missing
# (scripts/run and scripts/test do the same where make itself is not installed yet).
JOBS ?= $(shell nproc)

.PHONY: all deps build debug asan windows run test test-default test-asan test-windows fuzz bench format clean

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

# The Windows screensaver, cross-built with mingw-w64: build/windows/yulo.scr with its data
# beside it, and the zip and the installer of both. The data set (and the program icon) come from the Linux asset generator.
windows: deps
	cmake --preset default
	cmake --build --preset default --target yulo_assets -j $(JOBS)
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)
	scripts/package-windows build/windows/yulo.scr build/windows build/windows

run:
	@scripts/run

test-default: build
	ctest --preset default

test-asan: asan
	ctest --preset asan

fuzz: deps
	@scripts/fuzz-smoke

# The Wine checks of the Windows build, each under a time limit, on an X server and a fresh
# Wine prefix of their own (tests/windows/run); skipped where Wine is not installed.
test-windows: windows
	@if command -v wine >/dev/null 2>&1; then \
	  tests/windows/run build/windows; rc=$$?; [ $$rc = 0 ] || [ $$rc = 77 ]; \
	else echo "test-windows: Wine is not installed: skipped"; fi

# The Windows build comes first, so that the default tests can compare it with the Linux one.
test: windows test-default test-asan fuzz test-windows

bench: build
	@scripts/bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build out
