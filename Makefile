# Vorlune: `make run` starts the program, `make test` runs every test.
# Each target installs what is missing first (scripts/install-deps).
# `make install PREFIX=...` installs the program and the runtime for other programs (optional).

BUILD        ?= build
JOBS         ?= $(shell nproc)
# Seconds per fuzz target: `make test` runs each briefly, `make fuzz` for 300 s unless given
# (`make fuzz FUZZ_SECONDS=60`).
FUZZ_SECONDS ?= 15
# Key events of the soak (scripts/soak): `make test` runs a short one, `make soak` the full one,
# `make soak-valgrind` one under valgrind's memcheck.
SOAK_EVENTS  ?= 2000
# Where `make install` puts everything; a folder of your own needs no root.
PREFIX       ?= /usr/local
CMAKE_GEN    := -G Ninja

.PHONY: all deps build release run test test-unit test-display test-sanitize test-tsan \
	test-fuzz test-soak soak soak-valgrind fuzz bench install package format clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/test/build.ninja: | deps
	cmake -S . -B $(BUILD)/test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVORLUNE_WERROR=ON

$(BUILD)/release/build.ninja: | deps
	cmake -S . -B $(BUILD)/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DVORLUNE_TESTS=OFF

# The Debian packages' build: optimised, for the prefix /usr, without tests and benchmarks.
$(BUILD)/package/build.ninja: | deps
	cmake -S . -B $(BUILD)/package $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_INSTALL_PREFIX=/usr -DVORLUNE_TESTS=OFF -DVORLUNE_BENCH=OFF

$(BUILD)/asan/build.ninja: | deps
	cmake -S . -B $(BUILD)/asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVORLUNE_WERROR=ON \
	    -DVORLUNE_SANITIZE=ON -DVORLUNE_BENCH=OFF

$(BUILD)/tsan/build.ninja: | deps
	cmake -S . -B $(BUILD)/tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVORLUNE_WERROR=ON \
	    -DVORLUNE_THREAD_SAFE=ON -DVORLUNE_TSAN=ON -DVORLUNE_BENCH=OFF

$(BUILD)/fuzz/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)/fuzz $(CMAKE_GEN) \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLUNE_FUZZ=ON

build: $(BUILD)/test/build.ninja
	cmake --build $(BUILD)/test -j $(JOBS)

release: $(BUILD)/release/build.ninja
	cmake --build $(BUILD)/release -j $(JOBS)

run: release
	@scripts/run-program $(BUILD)/release/app/vorlune

test: test-unit test-display test-sanitize test-tsan test-soak test-fuzz
	@echo "make test: every suite passed"

test-unit: build
	ctest --test-dir $(BUILD)/test -LE display --output-on-failure -j $(JOBS)

test-display: build
	scripts/with-display ctest --test-dir $(BUILD)/test -L display --output-on-failure

test-sanitize: $(BUILD)/asan/build.ninja
	cmake --build $(BUILD)/asan -j $(JOBS)
	ctest --test-dir $(BUILD)/asan -LE display --output-on-failure -j $(JOBS)

# The thread-safe runtime under ThreadSanitizer: every unit suite (the thread tests among them),
# then the thread tests on the GTK platform under Xvfb. The first report fails a test.
test-tsan: $(BUILD)/tsan/build.ninja
	cmake --build $(BUILD)/tsan -j $(JOBS)
	ctest --test-dir $(BUILD)/tsan -LE display --output-on-failure -j $(JOBS)
	scripts/with-display ctest --test-dir $(BUILD)/tsan -L display -R '^GtkEventThreadsTest\.' \
	    --output-on-failure

test-soak: $(BUILD)/asan/build.ninja
	cmake --build $(BUILD)/asan -j $(JOBS) --target vorlune
	scripts/soak --events $(SOAK_EVENTS) $(BUILD)/asan/app/vorlune

soak: SOAK_EVENTS = 20000
soak: test-soak

# The optimised program: under memcheck the debug build takes more than half an hour.
soak-valgrind: release
	scripts/soak --valgrind --events 500 $(BUILD)/release/app/vorlune

test-fuzz: $(BUILD)/fuzz/build.ninja
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	scripts/run-fuzz $(BUILD)/fuzz $(FUZZ_SECONDS)

fuzz: FUZZ_SECONDS = 300
fuzz: test-fuzz

bench: release
	scripts/run-bench $(BUILD)/release/bench

install: release
	cmake --install $(BUILD)/release --prefix $(abspath $(PREFIX))

# vorlune_<version>_<arch>.deb and libvorlune-dev_<version>_<arch>.deb in $(BUILD)/package.
package: $(BUILD)/package/build.ninja
	cmake --build $(BUILD)/package -j $(JOBS)
	cd $(BUILD)/package && cpack -G DEB

format:
	find app runtime platform tools tests bench fuzz -name '*.cpp' -o -name '*.h' \
	    | xargs clang-format -i

clean:
	rm -rf $(BUILD)
