// Writes korvex-cli's shell completion from its table of commands and options, at build time:
//   korvex-cli-completion bash|zsh
// A new command or option reaches the shell's completion without a change here.
#include <iostream>
#include <string>

#include "korvex-cli/command_table.h"

namespace {

using namespace korvex;

std::string words(std::span<const CliOption> options) {
    std::string text;
    for (const CliOption& option : options) text += (text.empty() ? "" : " ") + std::string(option.name);
    return text;
}

// The options whose value the shell completes, and those whose value it leaves to the user.
std::string valueCases() {
    std::string files, free, out;
    const auto sort = [&](const CliOption& option) {
        if (option.argument.empty()) return;
        if (option.kind == ArgKind::Word)
            out += "        " + std::string(option.name) + ") COMPREPLY=($(compgen -W '" + std::string(option.what) +
                   "' -- \"$cur\")); return ;;\n";
        else if (option.argument == "FILE")
            files += (files.empty() ? "" : "|") + std::string(option.name);
        else if (free.find(std::string(option.name) + "|") == std::string::npos &&
                 !free.ends_with(std::string(option.name)))
            free += (free.empty() ? "" : "|") + std::string(option.name);
    };
    for (const CliOption& option : globalOptions()) sort(option);
    for (const CliCommandRow* row : commandTable())
        for (const CliOption& option : row->options) sort(option);
    if (!files.empty()) out += "        " + files + ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    if (!free.empty()) out += "        " + free + ") COMPREPLY=(); return ;;\n";
    return out;
}

std::string bashScript() {
    std::string commands, optionCases;
    for (const CliCommandRow* row : commandTable()) {
        commands += (commands.empty() ? "" : " ") + std::string(row->name);
        optionCases += "        " + std::string(row->name) + ") options='" + words(row->options) + "' ;;\n";
    }
    return "# bash completion for korvex-cli, made from its table of commands and options\n"
           "_korvex_cli() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local commands='" + commands + "'\n"
           "    local command='' options='' i\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        if [[ \" $commands \" == *\" ${COMP_WORDS[i]} \"* ]]; then command=${COMP_WORDS[i]}; break; fi\n"
           "    done\n"
           "    case $prev in\n" + valueCases() +
           "    esac\n"
           "    case $command in\n" + optionCases +
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options " + words(globalOptions()) + "\" -- \"$cur\"))\n"
           "    elif [[ -z $command || $command == help ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _korvex_cli korvex-cli\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::string shell = argc == 2 ? argv[1] : "";
    if (shell == "bash") {
        std::cout << bashScript();
    } else if (shell == "zsh") {
        // zsh runs the same function through its bash completion layer.
        std::cout << "#compdef korvex-cli\nautoload -U +X bashcompinit && bashcompinit\n" << bashScript();
    } else {
        std::cerr << "usage: korvex-cli-completion bash|zsh\n";
        return 2;
    }
    return 0;
}
