# Shared by the scripts in scripts/: the Debian packages the project needs, and installing
# the missing ones.

# Packages to build and run the program (libhpdf-dev: libharu, which writes the commissioning
# report as a PDF without a display).
QUELLSO_RUN_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools
                      libgl-dev fonts-liberation2 libhpdf-dev)
# Packages the tests, fuzzers and benchmarks need besides (the keyboard tests run on the X11
# platform under a virtual display and press keys through XTEST; the centring test runs there
# with a window manager: tests/support/with-window-manager).
QUELLSO_TEST_PACKAGES=(googletest libgtest-dev libgmock-dev libbenchmark-dev libstorm-dev clang
                       libclang-rt-14-dev xvfb xauth libxtst-dev qt6-qpa-plugins x11-utils openbox)
# The AppStream metadata's validator (tests/tools/test_programs).
QUELLSO_TEST_PACKAGES+=(appstream)
# The file systems that the save tests mount through loop devices (tests/files/test_savedisks).
QUELLSO_TEST_PACKAGES+=(dosfstools exfatprogs xfsprogs e2fsprogs)
# pdftotext, which reads the commissioning report's text back (tests/files/test_report).
QUELLSO_TEST_PACKAGES+=(poppler-utils)
# Packages for bench/callgrind (instruction counts of the decoder).
QUELLSO_BENCH_PACKAGES=(valgrind)
# Packages for trying the program without a desktop (virtual display, screenshots).
QUELLSO_DISPLAY_PACKAGES=(xvfb xauth x11-utils imagemagick)
# A Wayland desktop without one, for scripts/wayland: a headless compositor with XWayland, and
# the toolkit's Wayland platform for the pictures taken natively.
QUELLSO_WAYLAND_PACKAGES=(weston xwayland qt6-wayland)
# Desktop themes for the screenshots taken with a dark theme; the program never needs them.
QUELLSO_THEME_PACKAGES=(qt6-gtk-platformtheme gnome-themes-extra)

# install_packages PKG...: installs those not installed yet, with apt-get (through sudo when
# not root).
install_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

QUELLSO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
QUELLSO_JOBS=$(nproc 2>/dev/null || echo 2)
