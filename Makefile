# Front door: every entry installs what it needs first, so a fresh Debian machine needs
# nothing by hand; where make itself is missing, ./setup installs it and then runs make.
# The build settings live in CMakePresets.json (dev, asan, bench, release, fuzz); the
# targets only pick a preset. BUILD names the everyday build folder, and the others are
# BUILD-asan, BUILD-bench, BUILD-release and BUILD-fuzz beside it.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test test-asan test-fresh bench fuzz lint package clean

all: build

deps:
	@scripts/install-deps

# A preset configures the folder it names unless -B names another.
preset = cmake --preset $(1) -B $(2) $(CMAKE_FLAGS)

configure: deps
	$(call preset,dev,$(BUILD))

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
	set -e; for l in $(TEST_LOCALES); do \
	  echo "== LC_ALL=$$l"; \
	  LC_ALL=$$l ctest --preset dev --test-dir $(BUILD) -j $(JOBS); \
	done

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, under both
# locales (the sanitizer options and the hang timeout are in the asan test preset).
test-asan: deps
	@$(check_locales)
	$(call preset,asan,$(BUILD)-asan)
	cmake --build $(BUILD)-asan -j $(JOBS)
	set -e; for l in $(TEST_LOCALES); do \
	  echo "== LC_ALL=$$l"; \
	  LC_ALL=$$l ctest --preset asan --test-dir $(BUILD)-asan -j $(JOBS); \
	done

# The README's two commands on a minimal Debian 12 built by debootstrap (needs root and
# Debian's package archive). Not part of CI: run it before a release and after changing
# the front door.
test-fresh:
	scripts/test-fresh

bench: deps
	$(call preset,bench,$(BUILD)-bench)
	cmake --build $(BUILD)-bench -j $(JOBS)
	scripts/run-bench $(BUILD)-bench

# libFuzzer, FUZZ_SECONDS per target.
fuzz: deps
	$(call preset,fuzz,$(BUILD)-fuzz)
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	scripts/run-fuzz $(BUILD)-fuzz $(FUZZ_SECONDS)

lint: build
	scripts/lint $(BUILD)

# The project has no mail host of its own, so the maintainer address (in the control
# file and the changelog) is @localhost; only the tags for that are let through
# (README, "Installing").
LINTIAN_ALLOWED = bogus-mail-host,bogus-mail-host-in-debian-changelog
package: deps
	$(call preset,release,$(BUILD)-release)
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
