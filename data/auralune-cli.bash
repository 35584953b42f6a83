# bash completion for auralune-cli: commands, options, enhancement suffix
# codes and settings keys (the last two asked of the program itself, so
# they follow the build).

_auralune_cli_enhancements()
{
    # Available types only (no "-" mark): the suffix code is the suffix
    # key without "FileSuffix", in lower case.
    "$1" catalogue 2>/dev/null |
        awk '/^    0x/ { for (i = 1; i <= NF; i++) if ($i ~ /^FileSuffix/) print tolower(substr($i, 11)) }'
}

_auralune_cli_keys()
{
    # Lines of "settings list": a mark, a blank, the key, its value.
    "$1" settings list 2>/dev/null | awk '/^[ *!] [A-Za-z]/ { split(substr($0, 3), f, " "); print f[1] }'
}

_auralune_cli()
{
    local cur prev words cword
    _init_completion -n = || return
    local program=${words[0]}
    local global="-h --help --version -v --log -q --quiet"

    # The command: the first word that is not an option.
    local command="" sub="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        -*) ;;
        *)
            if [[ -z $command ]]; then
                command=${words[i]}
            elif [[ $command == settings && -z $sub ]]; then
                sub=${words[i]}
            fi
            ;;
        esac
    done

    case $prev in
    -1 | --enhancement1 | -2 | --enhancement2)
        COMPREPLY=($(compgen -W "$(_auralune_cli_enhancements "$program")" -- "$cur"))
        return
        ;;
    --format)
        COMPREPLY=($(compgen -W "unchanged wav aiff aifc flac wav-lr wav-clfe wav-slsr wav-l wav-r wav-c wav-lfe wav-sl wav-sr" -- "$cur"))
        return
        ;;
    --output-dir)
        _filedir -d
        return
        ;;
    --set)
        compopt -o nospace
        COMPREPLY=($(compgen -S = -W "$(_auralune_cli_keys "$program")" -- "$cur"))
        return
        ;;
    --group)
        COMPREPLY=($(compgen -W "cd4 phonograph settings wow" -- "$cur"))
        return
        ;;
    -j | --jobs)
        COMPREPLY=($(compgen -W "$(seq 1 "$(nproc 2>/dev/null || echo 4)")" -- "$cur"))
        return
        ;;
    esac

    case $command in
    "")
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$global" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "catalogue list settings analyse analyze loudness convert" -- "$cur"))
        fi
        ;;
    settings)
        if [[ -z $sub ]]; then
            COMPREPLY=($(compgen -W "list get set reset" -- "$cur"))
        elif [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "-h --help --all --group $global" -- "$cur"))
        elif [[ $sub == get || $sub == set || $sub == reset ]]; then
            COMPREPLY=($(compgen -W "$(_auralune_cli_keys "$program")" -- "$cur"))
        fi
        ;;
    analyse | analyze)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--metrics --json $global" -- "$cur"))
        else
            _filedir '@(wav|WAV|aif|AIF|aiff|AIFF|aifc|AIFC|flac|FLAC)'
        fi
        ;;
    loudness)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--json $global" -- "$cur"))
        else
            _filedir '@(wav|WAV|aif|AIF|aiff|AIFF|aifc|AIFC|flac|FLAC)'
        fi
        ;;
    convert)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "-1 --enhancement1 -2 --enhancement2 --format --output-dir --next-to-source --set --metrics --repeatable --json -j --jobs $global" -- "$cur"))
        else
            _filedir '@(wav|WAV|aif|AIF|aiff|AIFF|aifc|AIFC|flac|FLAC)'
        fi
        ;;
    catalogue | list)
        COMPREPLY=($(compgen -W "$global" -- "$cur"))
        ;;
    esac
}
complete -F _auralune_cli auralune-cli
