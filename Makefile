# The two commands of the README, plus a plain build.
#   make        configure and build (nothing is installed, nothing is run)
#   make run    install missing Debian packages, build, start varnel
#   make test   install missing Debian packages, build, run every test
#   make install PREFIX=/opt/varnel   build, then install under PREFIX
#               (default /usr/local; DESTDIR is honoured for packaging)
#   make fuzz-smoke  build the fuzz targets with clang (in build-fuzz) and run
#               each once over its committed seeds (fuzz/run.sh --smoke)
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

FUZZ_BUILD_DIR ?= build-fuzz
PREFIX ?= /usr/local

.PHONY: all deps configure build run test install clean fuzz-smoke

all: build

deps:
	@./scripts/setup-deps.sh

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVARNEL_WERROR=ON $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

run: deps build
	./$(BUILD_DIR)/bin/varnel

test: deps build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A separate clang build: libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer on the readers. Fails when a seed crashes,
# takes more than 1 s or more than 512 MB.
fuzz-smoke:
	@test -f $(FUZZ_BUILD_DIR)/CMakeCache.txt || cmake -S . -B $(FUZZ_BUILD_DIR) \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DVARNEL_BUILD_FUZZ=ON -DVARNEL_BUILD_GUI=OFF -DVARNEL_BUILD_TESTS=OFF
	cmake --build $(FUZZ_BUILD_DIR) -j$(JOBS) --target fuzz
	BUILD_DIR=$(abspath $(FUZZ_BUILD_DIR)) ./fuzz/run.sh --smoke

clean:
	rm -rf $(BUILD_DIR)
