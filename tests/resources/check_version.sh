#!/usr/bin/env bash
# Reads the version record, the program icon and the manifest back out of a built Tovira.exe (icoutils) and
# checks them, one line per check. Exit status 1 when any check fails, 2 on bad use.
set -uo pipefail

if [[ $# -ne 1 || ! -f $1 ]]; then
    echo "usage: $0 path/to/Tovira.exe" >&2
    exit 2
fi
exe=$1
failures=0

check() { # name, expected, actual
    if [[ $2 == "$3" ]]; then
        echo "ok   $1: $3"
    else
        echo "FAIL $1: expected '$2', found '$3'"
        failures=$((failures + 1))
    fi
}

mapfile -t bytes < <(wrestool -x --raw --type=version "$exe" 2>/dev/null | od -An -v -tu1 | tr -s ' ' '\n' | grep -v '^$')

u16() { echo $((bytes[$1] | bytes[$1 + 1] << 8)); }
u32() { echo $(($(u16 "$1") | $(u16 $(($1 + 2))) << 16)); }
align4() { echo $((($1 + 3) / 4 * 4)); }

# UTF-16 text from offset $1, either up to a NUL or $2 code units; sets text and end (just after the text).
read_text() {
    local at=$1 limit=${2:--1} count=0 code ch
    text=""
    while ((at + 1 < ${#bytes[@]})); do
        code=$(u16 $at)
        at=$((at + 2))
        count=$((count + 1))
        ((code == 0)) && break
        printf -v ch "\\u$(printf '%04x' $code)"
        text+=$ch
        ((limit > 0 && count >= limit)) && break
    done
    end=$at
}

declare -A strings=()
fixedFile="" fixedProduct="" translation=""

# One node of the version tree: length, value length, type, key, value, children.
walk() {
    local at=$1 path=$2
    local length valueLength type key valueAt childAt stop
    length=$(u16 $at)
    valueLength=$(u16 $((at + 2)))
    type=$(u16 $((at + 4)))
    read_text $((at + 6))
    key=$text
    valueAt=$(align4 $end)
    stop=$((at + length))
    if [[ $path == "" && $key == VS_VERSION_INFO ]] && ((valueLength >= 24)); then
        if (($(u32 $valueAt) == 0xFEEF04BD)); then
            local fm fl pm pl
            fm=$(u32 $((valueAt + 8))) fl=$(u32 $((valueAt + 12)))
            pm=$(u32 $((valueAt + 16))) pl=$(u32 $((valueAt + 20)))
            fixedFile="$((fm >> 16)).$((fm & 0xFFFF)).$((fl >> 16)).$((fl & 0xFFFF))"
            fixedProduct="$((pm >> 16)).$((pm & 0xFFFF)).$((pl >> 16)).$((pl & 0xFFFF))"
        fi
    fi
    if [[ $path == */StringFileInfo/* ]] && ((type == 1)); then
        text=""
        ((valueLength > 0)) && read_text $valueAt $valueLength
        strings["${path##*/StringFileInfo/}/$key"]=$text
    fi
    if [[ $path == */VarFileInfo && $key == Translation ]] && ((valueLength >= 4)); then
        translation=$(printf '0x%04X %d' $(u16 $valueAt) $(u16 $((valueAt + 2))))
    fi
    if ((type == 1)); then
        childAt=$(align4 $((valueAt + 2 * valueLength)))
    else
        childAt=$(align4 $((valueAt + valueLength)))
    fi
    while ((childAt + 6 < stop)); do
        walk $childAt "$path/$key"
        childAt=$(align4 $((childAt + $(u16 $childAt))))
    done
}

if ((${#bytes[@]} > 6)); then
    walk 0 ""
else
    echo "FAIL version record: none in $exe"
    failures=$((failures + 1))
fi

check "fixed file version" "1.0.0.0" "$fixedFile"
check "fixed product version" "1.0.0.0" "$fixedProduct"
check "string table language" "040904B0" "$(printf '%s\n' "${!strings[@]}" | sed 's|/.*||' | sort -u | tr '\n' ' ' | sed 's/ $//')"
while IFS='=' read -r key expected; do
    check "$key" "$expected" "${strings[040904B0/$key]-<missing>}"
done <<'LIST'
FileVersion=1.00
ProductVersion=1.00
InternalName=Tovira
OriginalFilename=Tovira.exe
CompanyName=QEV - Systems
ProductName=Tovira Vantero
FileDescription=Tovira
LIST
check "translation" "0x0409 1200" "$translation"

# Explorer shows the first icon group of the executable.
check "first icon group" "--name=1" "$(wrestool -l --type=group_icon "$exe" 2>/dev/null | head -n 1 | grep -o -- '--name=[^ ]*')"
check "program icon, first image" "--width=16 --height=16 --bit-depth=24" \
    "$(wrestool -x --type=group_icon --name=1 "$exe" 2>/dev/null | icotool -l - 2>/dev/null | head -n 1 |
        grep -o -- '--width=[0-9]* --height=[0-9]* --bit-depth=[0-9]*')"
check "manifest execution level" 'level="asInvoker"' \
    "$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null | grep -o 'level="[A-Za-z]*"')"
check "manifest long paths" '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true' \
    "$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null | grep -o '<longPathAware [^<]*')"
check "manifest screen scale" 'true/pm|PerMonitorV2, PerMonitor' \
    "$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null | grep -o '<dpiAware[^<]*' | cut -d'>' -f2 | paste -sd'|')"

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
