# fish completion for vrim: its commands, each command's options (read from
# the command's own --help), and for --item the block addresses of the scene
# on the line. Addresses come NUL-separated from vrim ls --print0 and are
# offered as plain words: fish escapes them for the line, and nothing of a
# name from a scene is ever expanded or evaluated. fish reads a tab in a
# candidate as the start of its description and a line feed as the next
# candidate, so an address holding either is left out.

set -l __vrim_commands preview bake check show ls validate edit report

function __vrim_command
    for word in (commandline -opc)[2..-1]
        if contains -- $word preview bake check show ls validate edit report
            echo $word
            return 0
        end
    end
    return 1
end

function __vrim_addresses
    set -l words (commandline -opc)
    set -l bin $words[1]
    set -l after 0
    set -l previous ''
    for word in $words[2..-1]
        if test $after -eq 1; and not string match -q -- '-*' $word
            and not string match -q -- '--*' $previous; and test -f $word
            $bin ls --print0 -- $word 2>/dev/null | string split0 | string match -rv '[\t\n]'
            return
        end
        if contains -- $word preview bake check show ls validate edit report
            set after 1
        end
        set previous $word
    end
end

function __vrim_options
    set -l command (__vrim_command)
    set -l bin (commandline -opc)[1]
    $bin $command --help 2>/dev/null | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' |
        tr -d ' ,' | sort -u
    echo --encoding
end

complete -c vrim -f
complete -c vrim -n "not __vrim_command" -a "$__vrim_commands"
complete -c vrim -n "not __vrim_command" -l help -l version
complete -c vrim -n "not __vrim_command" -l encoding -x -a "auto utf-8 windows-1252"
complete -c vrim -n __vrim_command -l item -x -a "(__vrim_addresses)"
complete -c vrim -n __vrim_command -l encoding -x -a "auto utf-8 windows-1252"
complete -c vrim -n __vrim_command -s o -l output -r -F
complete -c vrim -n __vrim_command -l module -r -F
complete -c vrim -n __vrim_command -l script -r -F
complete -c vrim -n __vrim_command -l base -r -F
complete -c vrim -n "__vrim_command; and string match -q -- '-*' (commandline -ct)" -a "(__vrim_options)"
complete -c vrim -n "__vrim_command; and not string match -q -- '-*' (commandline -ct)" -F
