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

# The names an archive holds, as `mgarc list --names` shows them, ASCII case
# ignored. $1: the mgarc being completed; $2: the archive as typed.
_mgarc_entries()
{
    local archive word name reset
    archive=$(dequote "$2")
    word=$(dequote "$cur")
    [[ -f $archive ]] || return 0
    reset=$(shopt -p nocasematch)
    shopt -s nocasematch
    while IFS= read -r name; do
        # The names come from the archive: matched and quoted, never expanded.
        [[ $name == "$word"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
    done < <("$1" list --names -- "$archive" 2>/dev/null)
    $reset
}

_mgarc()
{
    local cur prev words cword split
    _init_completion -s || return

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
            COMPREPLY=($(compgen -W 'list verify cat extract create mount update diff apply' -- "$cur"))
        fi
        return
    fi

    case $prev in
        -C | --directory)
            [[ $command == extract ]] && _filedir -d
            return
            ;;
        --order)
            [[ $command == create ]] && _filedir
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
        --sums)
            [[ $command == verify ]] && _filedir
            return
            ;;
        -j | --jobs | --delete | --exclude)
            return
            ;;
    esac
    $split && return

    local options
    case $command in
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

    # The arguments before the one being completed, options and their values left out.
    local arguments=() options_end=false
    for ((i = command_at + 1; i < cword; i++)); do
        if ! $options_end; then
            case ${words[i]} in
                --)
                    options_end=true
                    continue
                    ;;
                -C | --directory | -j | --jobs | --magic | --order | --delete | --exclude | --output | --sums)
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
