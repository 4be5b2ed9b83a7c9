# The two commands a newcomer types: `make run` and `make test`.
BUILD ?= build
RELEASE ?= build-release
PACKAGE_BUILD ?= build-package
GENERATOR ?= Ninja
JOBS ?= $(shell nproc)

.PHONY: all deps desktop-deps package-deps configure build run demo test test-long test-asan bench screenshot screenshots package format fuzz clean

all: build

deps:
	@scripts/install-deps

desktop-deps:
	@scripts/install-deps --desktop

package-deps:
	@scripts/install-deps --package

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Builds the program and its application directory, then starts it there.
run: desktop-deps build
	cd $(BUILD)/bin && ./velmo

# The program on a demo household dated to today (velmo --demo): a new temporary folder, removed
# at the end; $(BUILD)/bin and the user's own ledger are never touched.
demo: desktop-deps build
	$(BUILD)/bin/velmo --demo

# Builds everything and runs every test headless.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE long

# The long-running tests (crash consistency with many kills, large ledgers).
test-long: build
	ctest --test-dir $(BUILD) --output-on-failure -L long

bench: deps
	cmake -S . -B $(RELEASE) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DVELMO_BENCH=ON
	cmake --build $(RELEASE) -j $(JOBS) --target run-bench

# A screenshot of the main menu in a real X server with Japanese fonts.
screenshot: desktop-deps build
	scripts/screenshot $(BUILD)/bin/velmo $(BUILD)/screenshots/main.png

# Every window on a demo ledger, at scale 1 and 2, in $(BUILD)/screenshots/1 and /2; the
# scale-1 pictures, optimised, replace those of the user's guide in docs/images/.
screenshots: desktop-deps build
	cmake --build $(BUILD) -j $(JOBS) --target velmo-shots
	scripts/screenshot --windows $(BUILD) $(BUILD)/screenshots
	mkdir -p docs/images
	cp $(BUILD)/screenshots/1/*.png docs/images/
	optipng -quiet -o2 -strip all docs/images/*.png

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (clang).
test-asan: deps
	cmake -S . -B build-asan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVELMO_SANITIZE=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE long

# libFuzzer on every fuzz target, FUZZ_SECONDS each (coverage-guided; crashes land in build-fuzz/,
# each target's corpus in build-fuzz/corpus/<target>, seeded by targets that read VELMO_FUZZ_SEEDS;
# an input that takes longer than 10 s counts as a hang).
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVELMO_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz -j $(JOBS) --target $$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp//')
	cd build-fuzz && for f in tests/fuzz/fuzz_*; do \
	  [ -f "$$f" ] && [ -x "$$f" ] || continue; echo "== $$f"; \
	  c=corpus/$$(basename $$f); mkdir -p $$c; \
	  VELMO_FUZZ_SEEDS=$$c ./$$f $$c -timeout=10 -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 2>&1 \
	    | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' || exit 1; \
	done

# The Debian package velmo_<version>_amd64.deb: a Release build with Debian's hardening flags,
# packed by CPack and checked by lintian (errors fail; warnings are printed).
package: package-deps
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	cmake -S . -B $(PACKAGE_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target velmo velmo_template velmo_installed_files
	cd $(PACKAGE_BUILD) && cpack -G DEB
	lintian --fail-on error --info $(PACKAGE_BUILD)/velmo_*_amd64.deb
	@ls $(PACKAGE_BUILD)/velmo_*_amd64.deb

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(RELEASE) $(PACKAGE_BUILD) build-asan build-fuzz
