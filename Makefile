# The two commands: `make demo` renders the example pages, `make test` passes the suite of
# both editions (i386, then x86-64). Both first install whatever is missing (tools/setup.sh)
# and then configure and build. `make test-win32` cross-builds MARLREND.dll and the suite for
# Win32 and for Win64 and runs them under Wine; `make compare-emf` compares the host's EMF
# pictures with the platform's GDI under Wine.

.PHONY: setup setup-win32 configure configure64 build build64 demo test test64 test-sanitize \
  test-sanitize64 test-win32 test-win64 compare-emf fuzz bench bench64 clean

setup:
	@sh tools/setup.sh

configure: setup
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default

configure64: setup
	@cmake --preset default64 >/dev/null

build64: configure64
	@cmake --build --preset default64

# The demo needs only the library and the host, not the test suite.
demo: configure
	@cmake --build --preset default --target marlrend marlrend-host
	@sh tools/demo.sh

# The i386 suite, then the x86-64 one (`make test64` runs that alone), then the example pages
# drawn by the host of each edition, which must be the same pictures byte for byte.
test: build
	@ctest --preset default
	@$(MAKE) --no-print-directory test64
	@sh tools/compare_editions.sh

test64: build64
	@ctest --preset default64

test-sanitize: setup
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize

test-sanitize64: setup
	@cmake --preset sanitize64 >/dev/null
	@cmake --build --preset sanitize64
	@ctest --preset sanitize64

setup-win32: setup
	@sh tools/setup.sh win32

# The suite runs in one Wine process; wineserver is waited for so that nothing is left running.
# The Win32 suite, then the Win64 one in a 64-bit prefix of its own (`make test-win64` runs
# that alone).
test-win32: setup-win32
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32
	@sh tools/wine-prefix.sh build/win32/wine
	@ctest --preset win32; status=$$?; WINEPREFIX=$(CURDIR)/build/win32/wine wineserver --wait; \
	  exit $$status
	@$(MAKE) --no-print-directory test-win64

test-win64: setup-win32
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64
	@sh tools/wine-prefix.sh build/win64/wine 64
	@ctest --preset win64; status=$$?; WINEPREFIX=$(CURDIR)/build/win64/wine wineserver --wait; \
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

# The same benchmarks of the x86-64 edition.
bench64: build64
	@./build/default64/bench/marlrend_driver_bench --benchmark_counters_tabular=true \
	  --benchmark_repetitions=$(BENCH_REPETITIONS) \
	  $(if $(BENCH_FILTER),--benchmark_filter='$(BENCH_FILTER)')
	@$(if $(BENCH_FILTER),true,./build/default64/bench/marlrend_bench --benchmark_counters_tabular=true)

clean:
	@rm -rf build
