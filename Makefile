# The two commands: `make demo` renders the example pages, `make test` passes the suite.
# Both first install whatever is missing (tools/setup.sh) and then configure and build.
# `make test-win32` cross-builds MARLREND.dll and the suite for Win32 and runs it under Wine;
# `make compare-emf` compares the host's EMF pictures with the platform's GDI under Wine.

.PHONY: setup setup-win32 configure build demo test test-sanitize test-win32 compare-emf fuzz bench \
  clean

setup:
	@sh tools/setup.sh

configure: setup
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default

demo: build
	@sh tools/demo.sh

test: build
	@ctest --preset default

test-sanitize: setup
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize

setup-win32: setup
	@sh tools/setup.sh win32

# The suite runs in one Wine process; wineserver is waited for so that nothing is left running.
test-win32: setup-win32
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32
	@sh tools/wine-prefix.sh build/win32/wine
	@ctest --preset win32; status=$$?; WINEPREFIX=$(CURDIR)/build/win32/wine wineserver --wait; \
	  exit $$status

# The host's EMF pictures beside the platform's GDI (the reference player under Wine):
# side-by-side pictures in out/compare/ and a table of agreement. DPI and EMF_FOLDER choose.
DPI ?= 100
EMF_FOLDER ?= ../shared/emf/pages
compare-emf: setup-win32 configure
	@cmake --build --preset default --target marlrend-host marlrend-compare
	@sh tools/compare_emf.sh --dpi $(DPI) $(EMF_FOLDER)

# Every fuzz target for FUZZ_SECONDS (default 60) each; fails on any finding.
fuzz:
	@sh tools/fuzz.sh

# The driver-side benchmark first (entry points through the dlopen'ed library, three
# repetitions, medians and a summary against the goals), then the routine-level ones.
# BENCH_FILTER (a --benchmark_filter regex) runs only the matching driver-side cases.
BENCH_REPETITIONS ?= 3
bench: build
	@./build/default/bench/marlrend_driver_bench --benchmark_counters_tabular=true \
	  --benchmark_repetitions=$(BENCH_REPETITIONS) \
	  $(if $(BENCH_FILTER),--benchmark_filter='$(BENCH_FILTER)')
	@$(if $(BENCH_FILTER),true,./build/default/bench/marlrend_bench --benchmark_counters_tabular=true)

clean:
	@rm -rf build
