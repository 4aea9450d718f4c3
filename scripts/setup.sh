# Shared by run.sh and test.sh: installs the Debian packages Vantrel needs and builds it.
# Sourced, not run.

VANTREL_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy pkg-config
  qt6-base-dev libgl-dev libssl-dev libdeflate-dev
  qt6-translations-l10n fonts-ipafont
  googletest libgtest-dev libbenchmark-dev
  poppler-utils cups printer-driver-cups-pdf python3-gi
  ghostscript fonts-dejavu-core fonts-urw-base35
  qpdf libqpdf-dev mupdf-tools python3-pypdf python3-pdfminer gir1.2-poppler-0.18 locales
  libpdfbox2-java libactivation-java libjaxb-api-java default-jre-headless
  enscript
  xvfb xauth x11-utils openbox xdotool
  dpkg-dev file desktop-file-utils appstream man-db
  acl
)

vantrel_say() { printf '== %s\n' "$*"; }

vantrel_install_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    vantrel_say "All needed Debian packages are installed."
    return 0
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  vantrel_say "Installing missing Debian packages: ${missing[*]}"
  # A new machine is often busy installing updates: wait for the package manager's lock
  # rather than stop at once.
  local lock=(-o DPkg::Lock::Timeout=600)
  local waited=0
  until "${sudo[@]}" apt-get "${lock[@]}" update -q 2>"${TMPDIR:-/tmp}/vantrel-apt.err"; do
    if ! grep -q 'Could not get lock' "${TMPDIR:-/tmp}/vantrel-apt.err" || [ "$waited" -ge 600 ]; then
      cat "${TMPDIR:-/tmp}/vantrel-apt.err" >&2
      return 1
    fi
    [ "$waited" -eq 0 ] && vantrel_say "Another program is installing packages: waiting for it (at most 10 minutes)"
    sleep 5
    waited=$((waited + 5))
  done
  vantrel_say "Installing (apt-get waits for the package lock when another install holds it)"
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${lock[@]}" install -y -q --no-install-recommends "${missing[@]}"
}

# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives 932.
vantrel_japanese_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8' && return 0
  vantrel_say "Generating the ja_JP.UTF-8 locale"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP\.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo[@]}" locale-gen >/dev/null
}

# vantrel_build DIR [cmake options...]: configures (once) and builds everything in DIR.
vantrel_build() {
  local dir=$1; shift
  local jobs
  jobs=$(nproc 2>/dev/null || echo 2)
  vantrel_say "Configuring $dir"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  vantrel_say "Building $dir with $jobs jobs"
  cmake --build "$dir" -j "$jobs"
}
