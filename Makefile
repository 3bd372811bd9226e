# Everyday commands. Each installs what is missing (Debian packages), builds
# with CMake and then does its job.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

# Debian packages the build and the tests need.
PACKAGES = cmake g++ make pkg-config libgtest-dev libgmock-dev libmpfr-dev pybind11-dev python3-dev python3-numpy python3-pytest qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libgl-dev libpng-dev nlohmann-json3-dev libcli11-dev libhwy-dev libboost-dev help2man locales xvfb xauth openbox
# How lupdate finds the program's texts: TB_WORDS marks those of the core.
LUPDATE_OPTIONS = -tr-function-alias QT_TRANSLATE_NOOP+=TB_WORDS -locations none -no-obsolete
LUPDATE_SOURCES = runtime sim reference results forms series maps apps
SCREENSHOT_PACKAGES = xvfb xauth openbox
FUZZ_PACKAGES = clang libclang-rt-14-dev
MPI_PACKAGES = libopenmpi-dev openmpi-bin
# The browser build and its tests: Debian's Emscripten and Chromium, and
# Node.js for Playwright (from npm, pinned by web/tests/package-lock.json).
WEB_PACKAGES = emscripten chromium nodejs
# Debian's Emscripten finds its JavaScript modules through this.
WEB_ENV = NODE_PATH=/usr/share/nodejs
PACKAGE_PACKAGES = dpkg-dev file help2man lintian desktop-file-utils appstream
FUZZ_SECONDS ?= 20
# 0 picks a new random seed each run; CI fixes it so a failure can be replayed.
FUZZ_SEED ?= 0
FUZZ_TARGETS = val str usingx options resume sin cos atan log hypot pow

SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)
define ensure_packages
	@missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing >/dev/null; \
	fi
endef

.PHONY: web web-serve test-web bench-web deps build run test bench test-sanitize test-clang test-mpi format-check fuzz screenshots map package translations docs clean

deps:
	$(call ensure_packages,$(PACKAGES))

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/threebody; \
	else \
	  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): running the default series headless with threebody-batch."; \
	  $(BUILD)/bin/threebody-batch; \
	fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bin/threebody-bench

# The page and the engine as WebAssembly: one folder of static files,
# $(BUILD)-web/web, that any static web server serves.
web:
	$(call ensure_packages,$(WEB_PACKAGES))
	$(WEB_ENV) emcmake cmake -S . -B $(BUILD)-web -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(WEB_ENV) cmake --build $(BUILD)-web -j $(JOBS) --target web_page
	@echo "The page: $(BUILD)-web/web (make web-serve serves it)"

# The browser engine's steps per second against the native engine's, one
# test at a time, side by side.
bench-web: web build
	node web/bench.mjs $(BUILD)-web/web $(BUILD)/bin/threebody-batch

# Serves the page on http://127.0.0.1:8000/ with the headers its worker needs.
web-serve: web
	python3 web/serve.py $(BUILD)-web/web 8000

# The page in headless Chromium against the native batch tool.
test-web: web build
	cd web/tests && npm ci --no-audit --no-fund >/dev/null
	cd web/tests && WEB_DIR=$(CURDIR)/$(BUILD)-web/web BATCH=$(CURDIR)/$(BUILD)/bin/threebody-batch \
	  GOLDEN=$(CURDIR)/tests/golden/default_series.csv MAP=$(CURDIR)/$(BUILD)/bin/threebody-map SHOTS=$(CURDIR)/$(BUILD)-web/screenshots node --test page.test.mjs

# Every program and test, the windows' too, under AddressSanitizer and
# UndefinedBehaviorSanitizer (the map without MPI, whose library keeps
# allocations to the end by design). Leaks inside the system's font and display
# libraries are not ours: tests/lsan.supp names them.
test-sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTHREEBODY_SANITIZE=ON -DTHREEBODY_WITH_MPI=OFF >/dev/null
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The same build and tests with clang, warnings as errors (CI builds gcc so too).
test-clang: deps
	$(call ensure_packages,clang)
	CXX=clang++ cmake -S . -B $(BUILD)-clang -DCMAKE_BUILD_TYPE=Release -DTHREEBODY_WERROR=ON >/dev/null
	cmake --build $(BUILD)-clang -j $(JOBS)
	cd $(BUILD)-clang && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# threebody-map with MPI: three ranks under mpirun against one process.
test-mpi: deps
	$(call ensure_packages,$(MPI_PACKAGES))
	cmake -S . -B $(BUILD)-mpi -DCMAKE_BUILD_TYPE=Release -DTHREEBODY_WITH_QT=OFF -DTHREEBODY_WITH_MPI=ON >/dev/null
	cmake --build $(BUILD)-mpi -j $(JOBS) --target threebody-map
	sh tests/check_mpi.sh $(BUILD)-mpi/bin/threebody-map
	sh tests/check_mpi_plain.sh $(BUILD)-mpi/bin/threebody-map

# Every C++ source as clang-format writes it.
format-check:
	$(call ensure_packages,clang-format)
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# Each libFuzzer target for FUZZ_SECONDS, starting from the committed seeds;
# what it finds goes to a scratch folder, not into the seeds.
fuzz: deps
	$(call ensure_packages,$(FUZZ_PACKAGES))
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTHREEBODY_FUZZ=ON -DTHREEBODY_WITH_QT=OFF >/dev/null
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
	  work=$(BUILD)-fuzz/corpus-$$t; mkdir -p $$work; \
	  $(BUILD)-fuzz/bin/fuzz_$$t $$work fuzz/corpus/$$t -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) -print_final_stats=1 \
	    > $(BUILD)-fuzz/fuzz_$$t.log 2>&1 || { cat $(BUILD)-fuzz/fuzz_$$t.log; exit 1; }; \
	  echo "fuzz_$$t: $$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' $(BUILD)-fuzz/fuzz_$$t.log)"; \
	done

# A Debian package (build-package/threebody_VERSION_ARCH.deb, the map tool with MPI, the page's folder
# in /usr/share/threebody/web), then checked: unpacked
# and run, and passed through lintian and the desktop and AppStream validators.
package: deps web
	$(call ensure_packages,$(PACKAGE_PACKAGES) $(MPI_PACKAGES))
	cmake -S . -B $(BUILD)-package $(CMAKE_FLAGS) -DTHREEBODY_WITH_MPI=ON -DTHREEBODY_PYTHON_DIR=lib/python3/dist-packages \
	  -DTHREEBODY_WEB_DIR=$(CURDIR)/$(BUILD)-web/web >/dev/null
	cmake --build $(BUILD)-package -j $(JOBS)
	cd $(BUILD)-package && cpack
	sh packaging/check-package.sh $(BUILD)-package

# The README's outcome maps: the default fields over alpha and init v3, by the
# fixed step and by the reference integration.
map: build
	$(BUILD)/bin/threebody-map --x alpha=0:360:121 --y init-v3=0.5:1.5:41 --cell 4 --png docs/map.png >/dev/null
	$(BUILD)/bin/threebody-map --x alpha=0:360:121 --y init-v3=0.5:1.5:41 --cell 4 --integrator reference --png docs/map-physical.png >/dev/null

screenshots: build
	$(call ensure_packages,$(SCREENSHOT_PACKAGES))
	# Under a window manager, as a person sees the windows (full screen needs one).
	xvfb-run -a -s "-screen 0 1920x1080x24" sh -c 'openbox >/dev/null 2>&1 & sleep 1; \
	  $(BUILD)/bin/threebody --screenshots docs; status=$$?; kill $$! 2>/dev/null; exit $$status'

# The library API's reference from its header, into build/docs/api/html; the
# Python examples' pictures into docs/.
docs: build
	$(call ensure_packages,doxygen)
	cmake -S . -B $(BUILD) >/dev/null
	cmake --build $(BUILD) --target api_docs
	@echo "The API's reference: $(BUILD)/docs/api/html/index.html"
	$(call ensure_packages,python3-matplotlib)
	PYTHONPATH=$(BUILD)/python /usr/bin/python3 examples/orbits.py docs/orbits.png
	PYTHONPATH=$(BUILD)/python /usr/bin/python3 examples/basin.py docs/basin.png

# Brings translations/*.ts up to date with the texts in the code (new ones
# come in unfinished, for a translator to fill in with Qt Linguist).
translations:
	$(call ensure_packages,qt6-l10n-tools)
	/usr/lib/qt6/bin/lupdate $(LUPDATE_OPTIONS) $(LUPDATE_SOURCES) -ts translations/threebody_de.ts

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz $(BUILD)-clang $(BUILD)-mpi $(BUILD)-package $(BUILD)-web
