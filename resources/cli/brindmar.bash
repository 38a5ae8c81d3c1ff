# bash completion for brindmar: commands, their options, and crop names.
_brindmar() {
    local cur prev words cword
    _init_completion || return
    local commands="embed extract info wipe zip convert"
    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    case $prev in
    -o | --out)
        _filedir -d
        return
        ;;
    --code-file)
        _filedir
        return
        ;;
    -c | --code)
        return
        ;;
    --format)
        COMPREPLY=($(compgen -W "bmp png" -- "$cur"))
        return
        ;;
    --crop)
        COMPREPLY=($(compgen -W "none centre centre-bottom centre-top left-top left-centre
            left-bottom right-top right-centre right-bottom left-vert-strip centre-vert-strip
            right-vert-strip top-horiz-strip centre-horiz-strip bottom-horiz-strip" -- "$cur"))
        return
        ;;
    esac
    local options
    case ${words[1]} in
    convert) options="--out --half --yes --quiet --help" ;;
    embed) options="--out --code --code-file --ask-code --encrypt --strong --stealth --crop --format --half --strip-metadata --keep-times --yes --quiet --help" ;;
    extract) options="--out --code --code-file --ask-code --yes --quiet --help" ;;
    info) options="--code --code-file --ask-code --quiet --help" ;;
    wipe | zip) options="--yes --quiet --help" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        _filedir
    fi
} && complete -F _brindmar brindmar
