#!/usr/bin/env bash
# The udev rules parse as udev reads them (KEY, optional {attribute}, operator, quoted value,
# comma-separated), every GOTO has its LABEL, every device they open goes to plugdev, and the
# adapters' USB ids and the parallel port are all covered.
# With SOURCE_DIR, the USB adapter's ids are the ones its target declares.
# Usage: udev_rules_test.sh RULES_FILE [SOURCE_DIR]
set -u
rules="$1" source="${2:-}"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -f "$rules" ] || { echo "FAIL: no rules file at $rules"; exit 1; }

term='[A-Z_]+(\{[A-Za-z0-9_]+\})?(==|!=|\+=|-=|:=|=)"[^"]*"'
labels="" gotos=""
lineno=0
while IFS= read -r line; do
    lineno=$((lineno + 1))
    [[ -z "${line// /}" || "$line" == \#* ]] && continue
    [[ "$line" =~ ^$term(,\ *$term)*$ ]] || fail "line $lineno does not parse: $line"
    [[ "$line" =~ LABEL=\"([^\"]*)\" ]] && labels+=" ${BASH_REMATCH[1]}"
    [[ "$line" =~ GOTO=\"([^\"]*)\" ]] && gotos+=" ${BASH_REMATCH[1]}"
    if [[ "$line" == *MODE=* ]]; then
        [[ "$line" == *'MODE="0660"'* && "$line" == *'GROUP="plugdev"'* ]] ||
            fail "line $lineno opens a device other than to plugdev: $line"
    fi
done <"$rules"
for label in $gotos; do
    [[ " $labels " == *" $label "* ]] || fail "GOTO \"$label\" has no LABEL"
done

# covers VENDOR PRODUCT: some rule that sets the group matches that USB device.
covers()
{
    grep -E 'GROUP="plugdev"' "$rules" | grep -E "idVendor}==\"$1\"" |
        grep -qE "idProduct}==\"([0-9a-f|]*\|)?$2(\|[0-9a-f|]*)?\"" || fail "USB $1:$2 is not given to plugdev"
}
vexlink="0403 0001 0005"  # USB Vexlink: vendor, firmware model 1, firmware model 2
header="$source/src/msp430/msp430usbvexlinktargetinterface.h"
if [ -n "$source" ] && [ -f "$header" ]; then
    id() { sed -n "s/.*$1 = 0x\([0-9a-fA-F]\{4\}\);.*/\1/p" "$header" | tr A-F a-f; }
    declared="$(id kVendorId) $(id kProductModel1) $(id kProductModel2)"
    [ "$declared" == "$vexlink" ] || fail "the usb target declares $declared, the rules expect $vexlink"
fi
read -r vendor model1 model2 <<<"$vexlink"
covers "$vendor" "$model1"
covers "$vendor" "$model2"
covers 0451 f430  # MSP-FET430UIF
covers 0451 f432  # eZ430
for product in 0010 0013 0014 0203 0204; do covers 2047 "$product"; done  # MSP-FET, eZ-FET
grep -E 'SUBSYSTEM=="ppdev"' "$rules" | grep -qE 'KERNEL=="parport' || fail "the parallel port is not given to plugdev"

if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
    udevadm verify "$rules" || fail "udevadm verify refuses the rules"
fi
[ "$failures" -eq 0 ] || exit 1
echo "ok: udev rules parse and cover every adapter"
