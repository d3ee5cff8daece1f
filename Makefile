# Front door: every entry installs what it needs first, so a fresh Debian machine needs
# nothing by hand; where make itself is missing, ./setup installs it and then runs make.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test test-asan test-fresh bench fuzz lint package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Users run under a Russian locale (comma decimal separator), so the whole suite runs
# under it as well as under C.UTF-8. A missing locale would silently fall back to C.
TEST_LOCALES = C.UTF-8 ru_RU.UTF-8
check_locales = for l in $(TEST_LOCALES); do \
	  locale -a | sed 's/-//g' | grep -qix "$$(echo $$l | sed 's/-//g')" \
	    || { echo "locale $$l is missing: run scripts/install-deps" >&2; exit 1; }; \
	done

test: build
	@$(check_locales)
	set -e; cd $(BUILD); for l in $(TEST_LOCALES); do \
	  echo "== LC_ALL=$$l"; \
	  LC_ALL=$$l QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS); \
	done

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, under both
# locales. A hung window test (an unanswered modal box) fails at the timeout instead of
# stalling CI.
test-asan: deps
	@$(check_locales)
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORAVEL_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan -j $(JOBS)
	set -e; cd $(BUILD)-asan; for l in $(TEST_LOCALES); do \
	  echo "== LC_ALL=$$l"; \
	  LC_ALL=$$l QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure --timeout 120 -j $(JOBS); \
	done

# The README's two commands on a minimal Debian 12 built by debootstrap (needs root and
# Debian's package archive). Not part of CI: run it before a release and after changing
# the front door.
test-fresh:
	scripts/test-fresh

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORAVEL_WITH_BENCH=ON -DKORAVEL_WITH_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-bench -j $(JOBS)
	scripts/run-bench $(BUILD)-bench

# libFuzzer, FUZZ_SECONDS per target.
fuzz: deps
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORAVEL_WITH_FUZZ=ON -DKORAVEL_WITH_TESTS=OFF -DKORAVEL_WITH_APP=OFF \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	scripts/run-fuzz $(BUILD)-fuzz $(FUZZ_SECONDS)

lint: build
	scripts/lint $(BUILD)

# The project has no mail host of its own, so the maintainer address (in the control
# file and the changelog) is @localhost; only the tags for that are let through
# (README, "Installing").
LINTIAN_ALLOWED = bogus-mail-host,bogus-mail-host-in-debian-changelog
package: deps
	cmake -S . -B $(BUILD)-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORAVEL_WITH_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-release -j $(JOBS)
	cd $(BUILD)-release && cpack -G DEB
	desktop-file-validate packaging/net.kelvo.Koravel.desktop
	appstreamcli validate --no-net packaging/net.kelvo.Koravel.metainfo.xml
	deb=$$(ls -t $(BUILD)-release/koravel_*.deb | head -n 1) && packaging/check-deb "$$deb" && \
	  lintian --fail-on error,warning --suppress-tags $(LINTIAN_ALLOWED) "$$deb"

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-release build-windows

# Windows: static koravel.exe and koravel.com, a zip and an installer under
# build-windows/. The first run cross-builds Qt, curl and googletest from Debian's
# sources into ~/.cache/koravel-windows (about 20 to 35 minutes on 2 cores); later runs
# take a minute or two. test-windows runs the tests, the window and the installer under
# wine. Neither is part of CI; check-windows is, and is a no-op without the cache.
.PHONY: windows test-windows check-windows
windows:
	scripts/build-windows

test-windows:
	scripts/test-windows

check-windows:
	scripts/check-windows-syntax

# The window against a local demo site, in a throwaway profile.
.PHONY: demo run
demo: build
	scripts/demo $(BUILD)

run: build
	scripts/run $(BUILD)
