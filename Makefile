# The two entry points of a fresh machine: `make run` and `make test`.
.PHONY: bootstrap configure build test bench run clean

JOBS ?= $(shell nproc)

bootstrap:
	./scripts/bootstrap

configure: bootstrap
	cmake --preset debug

build: configure
	cmake --build --preset debug -j $(JOBS)

test: build
	ASAN_OPTIONS=detect_leaks=1 ctest --preset debug -j $(JOBS)

bench: bootstrap
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	./scripts/run-bench build/release

run: bootstrap
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target korvane
	./build/release/src/app/korvane

clean:
	rm -rf build
