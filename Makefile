# The two commands of the README, plus a plain build.
#   make        configure and build (nothing is installed, nothing is run)
#   make run    install missing Debian packages, build, start varnel
#   make test   install missing Debian packages, build, run every test
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test clean

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

clean:
	rm -rf $(BUILD_DIR)
