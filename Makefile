# The two commands a newcomer types: `make run` and `make test`.
BUILD ?= build
RELEASE ?= build-release
GENERATOR ?= Ninja
JOBS ?= $(shell nproc)

.PHONY: all deps desktop-deps configure build run test test-long bench screenshot format asan fuzz clean

all: build

deps:
	@scripts/install-deps

desktop-deps:
	@scripts/install-deps --desktop

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Builds the program and its application directory, then starts it there.
run: desktop-deps build
	cd $(BUILD)/bin && ./velmo

# Builds everything and runs every test headless.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE long

# The long-running tests (crash consistency with many kills, large ledgers).
test-long: build
	ctest --test-dir $(BUILD) --output-on-failure -L long

bench: deps
	cmake -S . -B $(RELEASE) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DVELMO_BENCH=ON
	cmake --build $(RELEASE) -j $(JOBS)
	cmake --build $(RELEASE) --target run-bench

# A screenshot of the main menu in a real X server with Japanese fonts.
screenshot: desktop-deps build
	scripts/screenshot $(BUILD)/bin/velmo $(BUILD)/screenshots/main.png

asan: deps
	cmake -S . -B build-asan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVELMO_SANITIZE=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE long

fuzz: deps
	cmake -S . -B build-fuzz -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVELMO_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(RELEASE) build-asan build-fuzz
