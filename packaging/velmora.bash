# bash completion for velmora: its options, the words -format and -rounding
# take, and file names (or "-") for -i and -o.
_velmora()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -format)
            COMPREPLY=($(compgen -W 'bmp png tiff jpeg' -- "$cur"))
            return ;;
        -rounding)
            COMPREPLY=($(compgen -W 'nearest truncate' -- "$cur"))
            return ;;
        -i|-o)
            # "-" is standard input or output.
            COMPREPLY=($(compgen -W '-' -- "$cur") $(compgen -f -- "$cur"))
            compopt -o filenames 2>/dev/null
            return ;;
        -size|-scale|-sizexminus|-sizexminusy|-threads|-quality|-max-pixels)
            COMPREPLY=()
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-i -o -size -scale -sizexminus -sizexminusy -format -threads -rounding
                                  -quality -max-pixels -version --version -help' -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
        compopt -o filenames 2>/dev/null
    fi
}
complete -F _velmora velmora
