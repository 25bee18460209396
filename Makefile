# make run   installs what is missing, builds, lays out the program folder, starts the window
# make test  installs what is missing, builds, runs every test
# make test-asan  the same under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)
# make fuzz  builds the fuzz targets with clang (build-fuzz), runs each FUZZ_SECONDS
# make install    builds, installs under PREFIX (/usr/local); DESTDIR is honoured
# make uninstall  removes what the last make install put in place
# make package    builds the Debian package (build/melodeck_<version>_<arch>.deb)
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
# .ci/run adds -DMELODECK_WERROR=ON.
CMAKE_FLAGS ?=

.PHONY: deps configure build test run bench fuzz test-asan format clean install uninstall package

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: configure
	@cmake --build $(BUILD) --target program -j $(JOBS)
	@scripts/run-program.sh $(BUILD)/program

bench: build
	@cmake --build $(BUILD) --target program -j $(JOBS)
	@scripts/bench.sh $(BUILD)

test-asan:
	@$(MAKE) test BUILD=build-asan CMAKE_FLAGS="$(CMAKE_FLAGS) -DMELODECK_SANITIZE=ON"

fuzz:
	@scripts/install-deps.sh --fuzz
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELODECK_FUZZ=ON >/dev/null
	@cmake --build build-fuzz --target fuzzers -j $(JOBS)
	@fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

# The record names every installed file with DESTDIR in front; packaging
# installs into a folder of its own and never touches it.
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX) --component melodeck --strip
	@sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest_melodeck.txt > $(BUILD)/installed_files.txt

uninstall:
	@cmake -DRECORD=$(BUILD)/installed_files.txt -P cmake/Uninstall.cmake

package: build
	@cd $(BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
