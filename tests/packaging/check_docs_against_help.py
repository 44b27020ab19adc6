#!/usr/bin/env python3
"""Checks the man pages or the bash completion against what the programs'
--help says, so that neither can drift from the command line. On a mismatch
it lists exactly which options are missing (or no longer exist) and where.

  check_docs_against_help.py man VORDEL VORDEL_PDF MAN_DIR
  check_docs_against_help.py completion VORDEL COMPLETION_FILE
VORDEL_PDF may be "-" when the window is not built.
"""
import re
import subprocess
import sys


def run_help(argv):
    done = subprocess.run(argv, capture_output=True, text=True, timeout=60)
    if done.returncode != 0:
        sys.exit(f"{' '.join(argv)} failed ({done.returncode}): {done.stderr.strip()}")
    return done.stdout


def cli11_help(text):
    """Options (name -> set of choices or None) and subcommands of CLI11 help."""
    options, commands, section = {}, [], None
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            section = line[:-1]
            continue
        m = re.match(r"^  (\S+)(.*)$", line)
        if not m:
            continue
        if section == "Options" and m.group(1).startswith("-"):
            # "-o,--output TEXT", "--page-mode TEXT:{none,outlines}", "-j INT:INT in [1 - 256]"
            choices = re.search(r":\{([^}]*)\}", m.group(2))
            for name in m.group(1).split(","):
                options[name] = set(choices.group(1).split(",")) if choices else None
        elif section == "Subcommands":
            commands.append(m.group(1))
    return options, commands


def qt_help(text):
    """Option names of QCommandLineParser help ("  -h, --help   ...")."""
    options, section = {}, None
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            section = line[:-1]
            continue
        m = re.match(r"^  (-[^ ,]+(?:, -[^ ,]+)*)", line)
        if section == "Options" and m:
            for name in m.group(1).split(", "):
                options[name] = None
    return options


def man_sections(path):
    """Option names defined per "# ... OPTIONS" section of an scdoc page: the
    bold options on a definition line (one that starts with "*-")."""
    sections, current = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            heading = re.match(r"^# (.*)$", line)
            if heading:
                current = heading.group(1).strip()
                sections.setdefault(current, set())
                continue
            if current and line.startswith("*-"):
                sections[current].update(re.findall(r"\*(--?[A-Za-z0-9?][\w-]*)\*", line))
    return sections


def compare(problems, where, documented, actual):
    missing = sorted(set(actual) - set(documented))
    extra = sorted(set(documented) - set(actual))
    if missing:
        problems.append(f"{where} lacks: {' '.join(missing)}")
    if extra:
        problems.append(f"{where} has options --help does not: {' '.join(extra)}")


def check_man(vordel, vordel_pdf, man_dir):
    problems = []
    page = f"{man_dir}/vordel.1.scd"
    sections = man_sections(page)
    options, commands = cli11_help(run_help([vordel, "--help"]))
    compare(problems, f"{page} (GLOBAL OPTIONS)", sections.get("GLOBAL OPTIONS", set()), options)
    for command in commands:
        heading = f"{command.upper()} OPTIONS"
        if heading not in sections:
            problems.append(f"{page} has no section \"# {heading}\" for `vordel {command}`")
            continue
        options, _ = cli11_help(run_help([vordel, command, "--help"]))
        # -h, --help of each command are told once, under GLOBAL OPTIONS.
        options = {name: choices for name, choices in options.items() if name not in ("-h", "--help")}
        compare(problems, f"{page} ({heading})", sections[heading], options)
    if vordel_pdf != "-":
        page = f"{man_dir}/vordel-pdf.1.scd"
        options = qt_help(run_help([vordel_pdf, "--help"]))
        compare(problems, f"{page} (OPTIONS)", man_sections(page).get("OPTIONS", set()), options)
    return problems


def completion_tables(path):
    """`_vordel_NAME_options=( "OPTION ARGUMENT" ... )` as NAME -> {option: words or None}."""
    tables, current = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            start = re.match(r"^_vordel_(\w+)_options=\($", line.strip())
            if start:
                current = tables.setdefault(start.group(1), {})
                continue
            if current is not None and line.strip() == ")":
                current = None
                continue
            entry = re.match(r'^\s*"(\S+) (.*)"$', line)
            if current is not None and entry:
                argument = entry.group(2)
                current[entry.group(1)] = None if argument.startswith(("@", "-")) else set(argument.split())
    return tables


def check_completion(vordel, path):
    problems = []
    tables = completion_tables(path)
    options, commands = cli11_help(run_help([vordel, "--help"]))
    compare(problems, f"{path} (_vordel_global_options)", tables.get("global", {}), options)
    for command in commands:
        table = tables.get(command)
        if table is None:
            problems.append(f"{path} has no _vordel_{command}_options for `vordel {command}`")
            continue
        options, _ = cli11_help(run_help([vordel, command, "--help"]))
        where = f"{path} (_vordel_{command}_options)"
        compare(problems, where, table, options)
        for name, choices in options.items():
            if name in table and choices is not None and table[name] != choices:
                problems.append(f"{where}: {name} completes {' '.join(sorted(table[name] or []))}"
                                f" but --help accepts {' '.join(sorted(choices))}")
    return problems


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "man":
        problems = check_man(*sys.argv[2:])
    elif len(sys.argv) == 4 and sys.argv[1] == "completion":
        problems = check_completion(*sys.argv[2:])
    else:
        sys.exit(__doc__)
    for problem in problems:
        print(problem)
    if problems:
        sys.exit(1)
    print("in step with --help")


if __name__ == "__main__":
    main()
