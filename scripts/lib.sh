# Shared by the project's scripts: dependencies and the Wine environment.
# Source it; it defines functions only.

QH_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QH_WINE64=/usr/lib/wine/wine64
QH_WINE32=/usr/lib/wine/wine
QH_WINESERVER=/usr/lib/wine/wineserver

qh_install_deps() {
    local need=()
    local pkgs=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
                g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine wine64 wine32:i386
                xvfb xauth x11-utils xdotool imagemagick locales fonts-ipafont zip unzip)
    for p in "${pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
    done
    if ((${#need[@]})); then
        echo "== installing: ${need[*]}"
        if [[ $(id -u) != 0 ]]; then echo "need root to install packages" >&2; return 1; fi
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
    fi
    if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
        sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
        grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
        locale-gen >/dev/null
    fi
}

# True when this kernel can run 32-bit Linux programs, which 32-bit Wine needs.
qh_can_run_wine32() {
    [[ -x $QH_WINE32 ]] && "$QH_WINE32" --version >/dev/null 2>&1
}

# qh_wine_start DIR [DISPLAY]: a Wine prefix in DIR/prefix (made once), a
# virtual X server unless DISPLAY is given, and Wine's desktop shell, which
# clipboard notifications and the notification area need. Returns non-zero,
# with an error naming what failed, when the X server or the shell does not
# start. Sets WINEPREFIX, WINELOADER, DISPLAY, LANG and QH_XVFB_PID, QH_SHELL_PID.
qh_wine_start() {
    local dir=$1 display=${2:-}
    mkdir -p "$dir"
    export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
    if qh_can_run_wine32; then export WINELOADER=$QH_WINE32; else export WINELOADER=$QH_WINE64; fi
    export WINESERVER=$QH_WINESERVER
    QH_XVFB_PID=
    if [[ -z $display ]]; then
        local fd_file=$dir/xvfb.display
        rm -f "$fd_file"
        Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$fd_file" 2>"$dir/xvfb.log" &
        QH_XVFB_PID=$!
        for _ in $(seq 100); do
            [[ -s $fd_file ]] && break
            kill -0 "$QH_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        if [[ ! -s $fd_file ]]; then
            echo "qh_wine_start: the virtual X server (Xvfb) did not start; see $dir/xvfb.log:" >&2
            tail -5 "$dir/xvfb.log" >&2
            qh_wine_stop
            return 1
        fi
        display=:$(head -1 "$fd_file")
    fi
    export DISPLAY=$display
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        "$WINELOADER" wineboot -i >"$dir/wineboot.log" 2>&1 || true
        "$WINESERVER" -w
        # Japanese UI fonts rendered with the IPA fonts.
        cat >"$dir/fonts.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS Gothic"="IPAGothic"
"MS PGothic"="IPAPGothic"
"MS UI Gothic"="IPAPGothic"
"MS Mincho"="IPAMincho"
"MS PMincho"="IPAPMincho"
"ＭＳ ゴシック"="IPAGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ 明朝"="IPAMincho"
"ＭＳ Ｐ明朝"="IPAPMincho"
"Meiryo"="IPAPGothic"
"Meiryo UI"="IPAPGothic"
"Yu Gothic UI"="IPAPGothic"
REG
        # regedit reads Unicode files as UTF-16 with a byte-order mark.
        { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$dir/fonts.reg"; } >"$dir/fonts16.reg"
        "$WINELOADER" regedit /S "$dir/fonts16.reg" >/dev/null 2>&1 || true
        "$WINESERVER" -w
    fi
    if [[ ! -f $dir/desktop.set ]]; then
        # Every program of the prefix opens inside the one virtual desktop,
        # not as windows of its own on an X server without a window manager,
        # where each hide or close of a window waits ~2 s.
        "$WINELOADER" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
        "$WINELOADER" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
        "$WINESERVER" -w
        touch "$dir/desktop.set"
    fi
    "$WINELOADER" explorer /desktop=shell,1024x768 >"$dir/explorer.log" 2>&1 &
    QH_SHELL_PID=$!
    # The shell is up once its desktop window exists.
    local up=
    for _ in $(seq 100); do
        xwininfo -root -tree 2>/dev/null | grep -q 'shell' && { up=1; break; }
        kill -0 "$QH_SHELL_PID" 2>/dev/null || break
        sleep 0.2
    done
    if [[ -z $up ]]; then
        echo "qh_wine_start: the Wine desktop shell (explorer /desktop=shell) did not start on $DISPLAY; see $dir/explorer.log:" >&2
        tail -5 "$dir/explorer.log" >&2
        qh_wine_stop
        return 1
    fi
    sleep 1
}

qh_wine_stop() {
    [[ -n ${WINEPREFIX:-} ]] && "$QH_WINESERVER" -k 2>/dev/null || true
    [[ -n ${QH_SHELL_PID:-} ]] && kill "$QH_SHELL_PID" 2>/dev/null || true
    [[ -n ${QH_XVFB_PID:-} ]] && kill "$QH_XVFB_PID" 2>/dev/null || true
    QH_SHELL_PID= QH_XVFB_PID=
}
