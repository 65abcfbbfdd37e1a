# Every target does its own set-up on a fresh Debian 12 or 13 machine: the build
# targets install what building needs, the test targets what the tests need.
BUILD      ?= build
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
SERVICE_BUILD ?= build-service
# How long `make fuzz` runs each fuzz target.
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
WERROR     := $(if $(filter true,$(CI)),ON,OFF)

# Debian packages that building the service alone needs (make service, make
# install-service). Debian's qt6-base-dev brings Qt's GUI libraries along; the
# service's build uses none of them ...
SERVICE_PACKAGES := cmake make g++ pkg-config qt6-base-dev
# ... that building and running TARVIK need (make, make demo, make install,
# make package) ...
BUILD_PACKAGES := $(SERVICE_PACKAGES) qt6-base-dev-tools qt6-qpa-plugins \
                  qt6-svg-dev qt6-wayland libgl-dev libcanberra-dev libxcb1-dev dpkg-dev file perl
# ... what trying a fresh release needs (make fresh-release; the tests check its script) ...
FRESH_PACKAGES := debootstrap
# ... and what the tests need besides. Names that differ from release to release
# are worked out in test-deps (the clang runtime of the release's clang) or come
# as dependencies (imagemagick's own build of the release).
TEST_PACKAGES := libgtest-dev libgmock-dev libtsan2 appstream desktop-file-utils \
                 xvfb xauth xdotool trayer x11-apps imagemagick fonts-dejavu-core \
                 clang libasan8 libubsan1 ccache x11-utils openbox weston xwayland dbus \
                 lintian dbus-daemon clang-format iproute2 pipewire-alsa systemd $(FRESH_PACKAGES)
# The desktops most users run, for make test-desktops only: GNOME Shell with and
# without its tray extension, KWin on Wayland and on X11 with Plasma's tray.
DESKTOP_PACKAGES := gnome-shell gnome-shell-extension-appindicator gjs python3-dbusmock \
                    kwin-wayland kwin-x11 plasma-workspace
PACKAGES := $(BUILD_PACKAGES) $(TEST_PACKAGES) $(DESKTOP_PACKAGES)

SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: all deps test-deps desktop-deps packages configure build test test-unit test-tsan test-desktops demo install uninstall package
.PHONY: service-deps service install-service
.PHONY: clean format
.PHONY: fuzz-build test-fuzz fuzz test-asan fresh-release

all: build

# Installs the Debian packages named in PKGS that are missing (apt-get, as root or through sudo).
define install_missing
	@missing="$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done)"; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(BUILD_PACKAGES))

test-deps: deps
	$(call install_missing,$(TEST_PACKAGES))
	$(call install_missing,libclang-rt-$$(clang --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n 1)-dev)

# Every package the targets install, for the check against each release's index.
packages:
	@echo $(PACKAGES)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DTARVIK_WERROR=$(WERROR)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

desktop-deps: test-deps
	$(call install_missing,$(DESKTOP_PACKAGES))

test-unit: test-deps
	cmake -S . -B $(BUILD) -DTARVIK_WERROR=$(WERROR) -DTARVIK_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) --timeout 300 -LE desktops

# The whole-program checks under GNOME Shell and KWin, headless, one session at a time.
test-desktops: desktop-deps
	cmake -S . -B $(BUILD) -DTARVIK_WERROR=$(WERROR) -DTARVIK_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure --timeout 300 -L desktops

test-tsan: test-deps
	cmake -S . -B $(TSAN_BUILD) -DTARVIK_TSAN=ON -DTARVIK_WERROR=$(WERROR)
	cmake --build $(TSAN_BUILD) -j$(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j$(JOBS) --timeout 300

# The fuzz targets under libFuzzer (clang), AddressSanitizer and UndefinedBehaviorSanitizer.
fuzz-build: test-deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DTARVIK_FUZZ=ON -DTARVIK_WERROR=$(WERROR)
	cmake --build $(FUZZ_BUILD) -j$(JOBS)

# A short fixed-count run of each target from its seed corpus.
test-fuzz: fuzz-build
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j$(JOBS) --timeout 300

# Each target for FUZZ_SECONDS; prints the inputs run and the findings per target.
fuzz: fuzz-build
	fuzz/run_all.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The whole suite built with AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer.
# Sounds go into ALSA's null device (see tests/alsa-null.conf).
ASAN_ENV := ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" \
            ALSA_CONFIG_PATH="$(CURDIR)/tests/alsa-null.conf" \
            LSAN_OPTIONS="suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0" \
            UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
test-asan: test-deps
	cmake -S . -B $(ASAN_BUILD) -DTARVIK_ASAN=ON -DTARVIK_WERROR=$(WERROR)
	$(ASAN_ENV) cmake --build $(ASAN_BUILD) -j$(JOBS)
	$(ASAN_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS) --timeout 600 -LE desktops

test: test-unit test-tsan test-fuzz

demo: build
	scripts/demo.sh $(BUILD)

PREFIX  ?= /usr/local
DESTDIR ?=

# As root (sudo make install) for the default PREFIX; DESTDIR stages for packagers.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Removes what install put there, by the list the install wrote.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "nothing installed from $(BUILD)"; exit 1; }
	xargs -d '\n' rm -f -- <$(BUILD)/install_manifest.txt

# The service alone, for a box without a desktop: tarvikd, its unit, its example
# configuration and its manual page (and the simulator, built but not installed).
service-deps:
	$(call install_missing,$(SERVICE_PACKAGES))

service: service-deps
	cmake -S . -B $(SERVICE_BUILD) -DTARVIK_SERVICE_ONLY=ON -DTARVIK_WERROR=$(WERROR)
	cmake --build $(SERVICE_BUILD) -j$(JOBS)

# As root, like install; `make uninstall BUILD=$(SERVICE_BUILD)` removes it again.
install-service: service
	DESTDIR="$(DESTDIR)" cmake --install $(SERVICE_BUILD) --prefix "$(PREFIX)"

package: build
	cd $(BUILD) && cpack -G DEB -B package
	@ls $(BUILD)/package/*.deb

# The README's two commands on a fresh Debian release (RELEASE=bookworm, trixie),
# in a chroot made from the release's minimal base; prints each step's time.
RELEASE    ?= trixie
FRESH_ROOT ?= /var/tmp/tarvik-fresh
fresh-release:
	$(call install_missing,$(FRESH_PACKAGES))
	$(SUDO) scripts/fresh-release.sh $(RELEASE) $(FRESH_ROOT)/$(RELEASE)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(ASAN_BUILD) $(SERVICE_BUILD)
