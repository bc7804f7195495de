# The two commands of the README: `make demo` and `make test`. Both prepare a fresh machine
# by themselves (tools/bootstrap).
SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c

VENV := .venv
PY := $(VENV)/bin/python
CMAKE := $(VENV)/bin/cmake
CTEST := $(VENV)/bin/ctest
JOBS ?= $(shell nproc)
CMAKE_COMMON = -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	-DPython_EXECUTABLE=$(abspath $(PY)) -Dpybind11_DIR="$$($(PY) -m pybind11 --cmakedir)" \
	-DQUARN_WERROR=ON
CXX_SOURCES = $(shell git ls-files -co --exclude-standard '*.cpp' '*.hpp')

.PHONY: test demo setup install cpp-test asan-test cpp-package py-test typecheck docs docs-test \
	dist wheel-test format format-check bench fuzz fuzz-smoke py-fuzz-smoke clean

test: format-check typecheck cpp-test asan-test fuzz-smoke py-fuzz-smoke cpp-package py-test \
		docs-test wheel-test
	@echo "all tests passed"

demo: install
	$(PY) examples/demo.py

setup:
	@tools/bootstrap

# Builds the extension and installs it with pyquarn into .venv (incremental: build/wheel).
install: setup
	$(PY) -m pip install -q --disable-pip-version-check --no-build-isolation .

cpp-test: setup
	$(CMAKE) -S . -B build/dev $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=ON >/dev/null
	$(CMAKE) --build build/dev -j $(JOBS)
	$(CTEST) --test-dir build/dev --output-on-failure

asan-test: setup
	$(CMAKE) -S . -B build/asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DQUARN_TESTS=ON \
		-DQUARN_SANITIZE=ON -DQUARN_PYTHON=OFF >/dev/null
	$(CMAKE) --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		$(CTEST) --test-dir build/asan --output-on-failure

# The C++ package: installed from build/dev into a scratch prefix, where every installed
# header must compile on its own (so none needs an internal one), then examples/cpp is built
# against it with find_package(quarn) and run on the sample.
cpp-package: cpp-test
	rm -rf build/package build/cpp-example
	$(CMAKE) --install build/dev --prefix build/package --component devel >/dev/null
	test -z "$$(find build/package/include -path '*/detail*')"
	for header in $$(cd build/package/include && find quarn -name '*.hpp'); do \
		echo "#include <$$header>" | $(CXX) -std=c++20 -fsyntax-only -Wall -Werror \
			-Ibuild/package/include -x c++ - || { echo "$$header does not stand alone"; exit 1; }; \
	done
	$(CMAKE) -S examples/cpp -B build/cpp-example -G Ninja \
		-DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
		-DCMAKE_PREFIX_PATH=$(abspath build/package) >/dev/null
	$(CMAKE) --build build/cpp-example
	build/cpp-example/quarn_blocks examples/sample.qgcode

# The Python tests use the installed module and the test-only hooks of build/dev.
py-test: install cpp-test
	QUARN_DEV_BUILD=$(abspath build/dev) $(PY) -m pytest -q tests/python

# The release files in dist/: the sdist and a manylinux wheel per supported interpreter,
# each built from the sdist in an empty folder (see tools/build-dist).
PYTHONS := 3.10 3.11 3.12 3.13
dist: setup
	tools/build-dist $(PYTHONS)

# Each wheel installed in a fresh environment of its interpreter, without compiling, and the
# whole Python suite run against it (TESTS="test_x.py ..." for some files only).
wheel-test: dist
	tools/test-wheels $(PYTHONS)

# mypy --strict on pyquarn, every example, the programs the tests run and the Python fuzz
# targets (the list and the options are pyproject.toml's), against the installed stubs of
# _quarn.
typecheck: install
	$(PY) -m mypy

# The documentation site, into build/docs/html: warnings are errors, and every Python example
# on it runs (Sphinx's doctest builder, each page in a fresh folder with the example files).
SPHINX = $(VENV)/bin/sphinx-build -q -W --keep-going -d build/docs/doctrees
docs: install
	$(SPHINX) -b html docs build/docs/html
	$(SPHINX) -b doctest docs build/docs/doctest

# The shell examples of the site, and the site opened in headless Chromium (screenshots in
# build/docs/screenshots).
docs-test: docs
	PYTHONSAFEPATH=1 $(PY) -m pytest -q tests/docs

bench: install
	$(CMAKE) -S . -B build/bench $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DQUARN_BENCH=ON \
		-DQUARN_TESTS=ON >/dev/null
	$(CMAKE) --build build/bench -j $(JOBS)
	QUARN_DEV_BUILD=$(abspath build/bench) $(PY) bench/run.py

# Builds the fuzz targets with clang and runs each for FUZZ_SECONDS, keeping what they find
# in build/fuzz/corpus, then the Python targets (atheris, on the installed pyquarn) likewise
# into build/fuzz/python. The smoke runs of make test give each 15 seconds from the seeds
# alone, with a fixed random seed, so that they are repeatable.
FUZZ_SECONDS ?= 300
FUZZ_TOOLS = CMAKE=$(CMAKE) NINJA=$(abspath $(VENV)/bin/ninja) JOBS=$(JOBS)
fuzz: install
	$(FUZZ_TOOLS) FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/run_fuzzers.sh
	PYTHON=$(PY) FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/python/run_fuzzers.sh

fuzz-smoke: setup
	rm -rf build/fuzz/smoke
	$(FUZZ_TOOLS) FUZZ_SECONDS=15 FUZZ_WORK=build/fuzz/smoke FUZZ_FLAGS=-seed=1 \
		tests/fuzz/run_fuzzers.sh

py-fuzz-smoke: install
	rm -rf build/fuzz/python-smoke
	PYTHON=$(PY) FUZZ_SECONDS=15 FUZZ_WORK=build/fuzz/python-smoke FUZZ_FLAGS=-seed=1 \
		tests/fuzz/python/run_fuzzers.sh

format: setup
	$(VENV)/bin/clang-format -i $(CXX_SOURCES)
	$(VENV)/bin/ruff format .
	$(VENV)/bin/ruff check --fix .

format-check: setup
	$(VENV)/bin/clang-format --dry-run -Werror $(CXX_SOURCES)
	$(VENV)/bin/ruff format --check .
	$(VENV)/bin/ruff check .

clean:
	rm -rf build dist
