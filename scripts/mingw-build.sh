# Sourced by the cross-build scripts (libopenmpt-mingw, codecs-mingw): the toolchain
# of a triplet, the cache under ~/.cache/tessel/ with one lock per script, and Debian
# source packages fetched through a private apt, so the system's apt configuration is
# never touched.

say() { echo "$tool: $*" >&2; }
die() { say "$*"; exit 1; }

# mingw_setup TRIPLET: host, cc, cxx, toolchain (a name part that changes whenever
# the compiler or the mingw-w64 runtime does) and cache.
mingw_setup() {
    host=$1
    local packages
    case $host in
    i686-w64-mingw32) packages=(g++-mingw-w64-i686-posix mingw-w64-i686-dev) ;;
    x86_64-w64-mingw32) packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev) ;;
    *) echo "$tool: unknown triplet $host" >&2; exit 2 ;;
    esac
    cxx=$host-g++-posix
    cc=$host-gcc-posix
    cache=${TESSEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessel}
    command -v "$cxx" >/dev/null || die "$cxx is missing (scripts/setup installs it)"
    command -v dpkg-source >/dev/null || die "dpkg-source is missing (scripts/setup installs dpkg-dev)"
    toolchain="gcc$("$cxx" -dumpfullversion)-$(dpkg-query -W -f='${Version} ' \
        "${packages[@]}" 2>/dev/null | tr -c 'A-Za-z0-9.+~' _)"
    toolchain=${toolchain%_}
}

# source_version PACKAGE: the source version the installed binary package PACKAGE was
# built from, so both targets decode with the same code.
source_version() {
    dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null ||
        die "$1 is not installed; its version picks the source package"
}

# cached PREFIX: prints PREFIX and ends the script when a finished build is there.
cached() {
    if [ -f "$1/.complete" ]; then
        echo "$1"
        exit 0
    fi
}

# build_lock PREFIX: one build of this script at a time on the machine; a second
# caller waits and then takes the cache.
build_lock() {
    mkdir -p "$cache"
    exec 9>"$cache/$tool.lock"
    flock 9
    cached "$1"
}

# missing_files DSC: the files DSC lists that are not in the current folder.
missing_files() {
    awk '/^Files:/{f=1;next} /^[^ ]/{f=0} f{print $3}' "$1" |
        while read -r file; do [ -f "$file" ] || echo "$file"; done
}

# debian_fetch PACKAGE VERSION: downloads Debian's source package (the .dsc and the
# files it lists) into the current folder and sets dsc to the .dsc's name; an
# upstream signature (.asc) that the mirror lacks is left out.
debian_fetch() {
    local package=$1 version=$2
    local apt_dir=$cache/apt
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    local sources=$apt_dir/sources.list.d/tessel-src.sources
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed -E 's/^Types:.*\<deb\>.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$sources"
    else
        sources=$apt_dir/sources.list.d/tessel-src.list
        grep -E '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list 2>/dev/null |
            sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >"$sources" || true
    fi
    [ -s "$sources" ] || die "no deb sources found in /etc/apt to derive deb-src lines from"
    local apt_options=(
        -o Dir::Etc::SourceList=/dev/null
        -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
        -o Dir::State::Lists="$apt_dir/lists"
        -o Dir::Cache="$apt_dir/cache"
        -o Debug::NoLocking=1
    )
    # As root, apt would hand the download to its _apt user, which cannot enter a home folder.
    [ "$(id -u)" -eq 0 ] && apt_options+=(-o APT::Sandbox::User=root)
    [ -n "${apt_updated:-}" ] || apt-get "${apt_options[@]}" -q update
    apt_updated=1
    dsc=${package}_${version#*:}.dsc
    # apt checks every file it fetches against the signed index. An upstream signature
    # (.asc) that a mirror lacks is not needed to unpack.
    if ! apt-get "${apt_options[@]}" -q source --download-only "$package=$version"; then
        local missing
        missing=$(missing_files "$dsc")
        [ -n "$missing" ] && ! grep -qv '\.asc$' <<<"$missing" || die "apt-get source $package=$version failed"
        say "$package: the mirror lacks $missing; going on without it"
    fi
}

# debian_source PACKAGE VERSION FOLDER: unpacks Debian's source package, with its
# patches applied, into FOLDER under the current folder.
debian_source() {
    local folder=$3 missing
    debian_fetch "$1" "$2"
    missing=$(missing_files "$dsc")
    if [ -z "$missing" ]; then
        dpkg-source -x "$dsc" "$folder"
        return
    fi
    # Without the signature the .dsc is unpacked without its listing, and unchecked by
    # dpkg-source (apt checked the rest).
    grep -vF "$missing" "$dsc" >"$dsc.unsigned"
    dpkg-source --no-check -x "$dsc.unsigned" "$folder"
}

# finish PREFIX: moves the finished PREFIX.partial into place, named by its final folder.
finish() {
    local prefix=$1
    { grep -rlsF --include='*.pc' --include='*.la' "$prefix.partial" "$prefix.partial/lib" || true; } |
        xargs -r sed -i "s|$prefix.partial|$prefix|g"
    touch "$prefix.partial/.complete"
    rm -rf "$prefix"
    mv "$prefix.partial" "$prefix"
}
