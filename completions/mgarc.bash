# bash completion for mgarc                                -*- shell-script -*-

# Archives: *.dat (either case) and directories; any file when no archive
# name fits what is typed.
_mgarc_archives()
{
    _filedir dat
    local name
    for name in "${COMPREPLY[@]}"; do
        [[ -d $name ]] || return 0
    done
    COMPREPLY=()
    _filedir
}

# The names an archive holds, as `mgarc list --names` shows them, completed
# one directory level at a time as bash completes paths, ASCII case ignored.
# $1: the mgarc being completed; $2: the archive as typed.
_mgarc_entries()
{
    local archive word name rest reset
    local -A seen=()
    archive=$(dequote "$2")
    word=$(dequote "$cur")
    [[ -f $archive ]] || return 0
    reset=$(shopt -p nocasematch)
    shopt -s nocasematch
    while IFS= read -r -d '' name; do
        # The names come from the archive: matched and quoted, never expanded.
        [[ $name == "$word"* ]] || continue
        rest=${name:${#word}}
        # A level with more below it is offered as the level, with its '/'.
        [[ $rest == */* ]] && name=${name:0:${#word}}${rest%%/*}/
        [[ -n ${seen[$name]-} ]] && continue
        seen[$name]=1
        COMPREPLY+=("$(printf '%q' "$name")")
    done < <("$1" list --names -0 -- "$archive" 2>/dev/null)
    $reset
    # A level alone is completed further, as a directory is.
    if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]]; then
        compopt -o nospace
    fi
}

_mgarc()
{
    local cur prev words cword split
    _init_completion -s || return

    local commands='help list verify cat extract create mount update diff apply'
    local i command="" command_at=0
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            command_at=$i
            break
        fi
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            # `mgarc ARCHIVE` extracts: archives are offered beside the commands.
            local offered=($(compgen -W "$commands" -- "$cur"))
            COMPREPLY=()
            _mgarc_archives
            COMPREPLY=("${offered[@]}" "${COMPREPLY[@]}")
        fi
        return
    fi

    # The arguments before the one being completed, options and their values left out.
    local arguments=() options_end=false
    for ((i = command_at + 1; i < cword; i++)); do
        if ! $options_end; then
            case ${words[i]} in
                --)
                    options_end=true
                    continue
                    ;;
                -C | --directory | -j | --jobs | --magic | --order | --delete | --delete-from | \
                    --exclude | --output | --sums)
                    ((i++))
                    continue
                    ;;
                -o)
                    [[ $command == extract ]] || ((i++))
                    continue
                    ;;
                -*) continue ;;
            esac
        fi
        arguments+=("${words[i]}")
    done

    case $prev in
        -C | --directory)
            [[ $command == extract ]] && _filedir -d
            return
            ;;
        --order | --delete-from | --sums)
            _filedir
            return
            ;;
        --magic)
            [[ $command == create ]] && COMPREPLY=($(compgen -W 'VIZ00 ZEL00' -- "$cur"))
            return
            ;;
        -o | --output)
            # extract's -o is --overwrite, which takes nothing.
            if [[ $command == diff || $command == apply ]]; then
                _filedir
                return
            fi
            ;;
        --delete)
            [[ $command == update && ${#arguments[@]} -gt 0 ]] &&
                _mgarc_entries "$1" "${arguments[0]}"
            return
            ;;
        -j | --jobs | --exclude)
            return
            ;;
    esac
    $split && return

    local options
    case $command in
        help)
            [[ ${#arguments[@]} -eq 0 ]] && COMPREPLY=($(compgen -W "${commands#help }" -- "$cur"))
            return
            ;;
        list) options='--json --names -0 --null --sha256 -j --jobs' ;;
        verify) options='--json --sums -j --jobs' ;;
        cat) options='' ;;
        extract) options='-C --directory -j --jobs -o --overwrite -k --keep-existing -v --verbose -q --quiet' ;;
        create) options='--force --magic --order -0 --null --exclude -j --jobs -v --verbose -q --quiet' ;;
        mount) options='-f --foreground' ;;
        update) options='-j --jobs -v --verbose -q --quiet --dry-run --delete --delete-from -0 --null --exclude' ;;
        diff) options='--json -o --output -j --jobs' ;;
        apply) options='-o --output -j --jobs' ;;
        *) return ;;
    esac

    if [[ $cur == -* ]] && ! $options_end; then
        COMPREPLY=($(compgen -W "$options -h --help" -- "$cur"))
        return
    fi

    case $command:${#arguments[@]} in
        apply:0) _filedir ;;
        apply:1 | diff:1) _mgarc_archives ;;
        *:0 | verify:*) _mgarc_archives ;;
        cat:1 | extract:*) _mgarc_entries "$1" "${arguments[0]}" ;;
        create:1 | mount:1 | update:1) _filedir -d ;;
    esac
} &&
    complete -F _mgarc mgarc

# ex: filetype=sh
