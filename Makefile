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

run:
	@echo "Korvane has no application shell yet; see README.md." >&2
	@exit 1

clean:
	rm -rf build
