# Installs missing Debian packages (as root), or says which are missing.
# Usage: ensure_packages NAME...   (NAME may carry an architecture, e.g. wine32:i386)

ensure_packages() {
    local missing=() name
    for name in "$@"; do
        dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages (run as root to install them): ${missing[*]}" >&2
        return 1
    fi
    for name in "${missing[@]}"; do
        case "$name" in
        *:i386) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
        esac
    done
    echo "installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >/dev/null
    apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# The packages every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libcli11-dev libstb-dev
    libspng-dev libjpeg62-turbo-dev libgif-dev libwebp-dev liblcms2-dev)
