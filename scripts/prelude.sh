# Sourced first by the scripts that build and run the program under Wine: the repository's root, the build folder
# (TOVIRA_BUILD, else build/, passed on to the scripts they call), the host's way with Wine said in one line, and
# what is missing installed.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}
export TOVIRA_BUILD=$out
source "$root/scripts/wine-session.sh"
host_detect
echo "$TOVIRA_HOST_NOTE"
"$root/scripts/setup.sh" || exit 1
