# The two commands: `make demo` renders the example pages, `make test` passes the suite.
# Both first install whatever is missing (tools/setup.sh) and then configure and build.

.PHONY: setup configure build demo test test-sanitize fuzz bench clean

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

# Every fuzz target for FUZZ_SECONDS (default 60) each; fails on any finding.
fuzz:
	@sh tools/fuzz.sh

bench: build
	@./build/default/bench/marlrend_bench --benchmark_counters_tabular=true

clean:
	@rm -rf build
