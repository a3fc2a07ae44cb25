# bash completion for zimprog. Options, target names, file types, device names and property
# names come from the program being completed (-help, -listtargets, -listfiletypes,
# -listdevices, -target T -listprops), so the completion knows what that program knows.

# The program the command line names, or zimprog on the search path.
_zimprog_program()
{
    local program="${COMP_WORDS[0]}"
    program="${program/#\~/$HOME}"
    if [[ "$program" == */* && -x "$program" ]]; then
        printf '%s\n' "$program"
    else
        printf '%s\n' zimprog
    fi
}

# The first column of a listing printed as "  NAME   DESCRIPTION" below its heading.
_zimprog_listing()
{
    "$(_zimprog_program)" "$@" 2>/dev/null | sed -n 's/^  \([^ ][^ ]*\) .*/\1/p'
}

# Display names of the target last selected on the command line, each followed by "=".
_zimprog_properties()
{
    local target="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ "${COMP_WORDS[i]}" == -target && $((i + 1)) -lt COMP_CWORD ]]; then
            target="${COMP_WORDS[i + 1]}"
        fi
    done
    [[ -n "$target" ]] || return
    "$(_zimprog_program)" -target "$target" -listprops 2>/dev/null |
        sed -n 's/^  Name: *\(.*\)$/\1=/p'
}

# Puts the lines of stdin that begin with the current word into COMPREPLY, whole lines kept
# (property names hold blanks).
_zimprog_reply_lines()
{
    local cur="$1" line
    while IFS= read -r line; do
        [[ "$line" == "$cur"* ]] && COMPREPLY+=("$line")
    done
}

_zimprog()
{
    local cur="${COMP_WORDS[COMP_CWORD]}" prev=""
    ((COMP_CWORD > 0)) && prev="${COMP_WORDS[COMP_CWORD - 1]}"
    COMPREPLY=()

    # The words after -script's file are the script's own.
    local i
    for ((i = 1; i < COMP_CWORD - 1; i++)); do
        if [[ "${COMP_WORDS[i]}" == -script ]]; then
            compopt -o default 2>/dev/null
            return
        fi
    done

    case "$prev" in
        -target)
            _zimprog_reply_lines "$cur" < <(_zimprog_listing -listtargets)
            return ;;
        -filetype)
            _zimprog_reply_lines "$cur" < <(_zimprog_listing -listfiletypes)
            return ;;
        -device)
            _zimprog_reply_lines "$cur" < <(_zimprog_listing -listdevices)
            return ;;
        -setprop)
            # Names hold blanks: each reply is one word, and no space follows the "=".
            local unquoted="${cur#\"}"
            local -a names=()
            local name
            while IFS= read -r name; do
                [[ "$name" == "$unquoted"* ]] && names+=("$name")
            done < <(_zimprog_properties)
            for name in "${names[@]}"; do
                COMPREPLY+=("$(printf '%q' "$name")")
            done
            compopt -o nospace 2>/dev/null
            return ;;
        -solution)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -X '!*.hzp' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
        -script)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -X '!*.js' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
        -upload)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        -project | -config | -loadaddress)
            return ;;
    esac

    case "$cur" in
        -*)
            local options
            options="$("$(_zimprog_program)" -help 2>/dev/null | sed -n 's/^  \(-[A-Za-z0-9_]*\).*/\1/p')"
            COMPREPLY=($(compgen -W "$options" -- "$cur"))
            ;;
        @*)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -P @ -- "${cur#@}"))
            ;;
        *)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            ;;
    esac
}

complete -F _zimprog zimprog
