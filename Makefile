# Thin wrapper over CMake. Every target installs what it needs first.
PREFIX ?= /usr/local
DESTDIR ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
COMPARE_BASE ?= HEAD
COMPARE_LOGS ?=

RELEASE := build/release
ASAN := build/asan
TSAN := build/tsan

.PHONY: all demo test tsan bench compare fuzz install install-built clean bootstrap release asan

all: release

bootstrap:
	@scripts/bootstrap.sh

release: bootstrap
	@cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF \
	  -DQUORVEL_WERROR=ON -DQUORVEL_STATIC_GD=ON >/dev/null
	@cmake --build $(RELEASE) -j $(JOBS)

asan: bootstrap
	@cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON \
	  -DQUORVEL_WERROR=ON -DQUORVEL_STATIC_GD=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)

# The browser test needs Chromium and python3, the short fuzz runs clang, the layout
# check clang-format; bootstrap installs them when missing.
test: asan
	@scripts/bootstrap.sh chromium python3 clang libclang-rt-14-dev clang-format
	@cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 300

# The end-to-end suite under ThreadSanitizer: every run reads its log in a second thread
# (the default), and a data race ends that run with a report on standard error.
tsan: bootstrap
	@scripts/bootstrap.sh python3
	@cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_TSAN=ON \
	  -DQUORVEL_WERROR=ON -DQUORVEL_STATIC_GD=ON >/dev/null
	@cmake --build $(TSAN) -j $(JOBS)
	@cd $(TSAN) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) --timeout 600 -L e2e

demo: release
	@scripts/demo.sh $(RELEASE)

bench: release
	@bench/run.sh $(RELEASE)

# Shows that the work tree writes the same pages, GIFs and database.dat as COMPARE_BASE.
compare: release
	@scripts/bootstrap.sh python3
	@COMPARE_BASE="$(COMPARE_BASE)" COMPARE_LOGS="$(COMPARE_LOGS)" JOBS="$(JOBS)" \
	  tests/tools/compare.sh $(RELEASE)

fuzz:
	@scripts/bootstrap.sh clang libclang-rt-14-dev
	@QUORVEL_WERROR=ON tests/fuzz/run.sh $(FUZZ_SECONDS)

# Installs the programs, the man pages and the sample configuration under $(PREFIX),
# staged below $(DESTDIR) when it is given. install-built copies what $(RELEASE)
# holds without building it again (for example `sudo make install-built` after `make`).
install: release
	@$(MAKE) --no-print-directory install-built

install-built:
	@DESTDIR="$(DESTDIR)" cmake --install "$(RELEASE)" --prefix "$(PREFIX)"

clean:
	@rm -rf build
