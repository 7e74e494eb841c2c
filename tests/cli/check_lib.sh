# Shared by the shell tests: counted checks that report a failure and go on.
# Source it, run the checks, and end with finish_checks NAME. A test of the
# command line sources it with its own arguments (the program, the samples
# folder) and gets $cli, $samples and a scratch folder $work, removed at exit.
set -u
if [ $# -ge 2 ]; then
    cli=$1
    samples=$2
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
failures=0
checks=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() { # description, expected status, actual status
    checks=$((checks + 1))
    [ "$2" = "$3" ] || fail "$1 (status $3, expected $2)"
}
expect_text() { # description, file, text
    checks=$((checks + 1))
    grep -qF -- "$3" "$2" || fail "$1: '$3' not in: $(cat "$2")"
}
expect_no_line() { # description, file, line
    checks=$((checks + 1))
    ! grep -qxF -- "$3" "$2" || fail "$1: '$3' unexpected in: $(cat "$2")"
}
same_files() { # description, file, file
    checks=$((checks + 1))
    cmp -s "$2" "$3" || fail "$1: $2 and $3 differ"
}
expect_sha() { # description, file, sha256
    local got
    checks=$((checks + 1))
    got=$(sha256sum "$2" | cut -d' ' -f1)
    [ "$got" = "$3" ] || fail "$1: sha256 $got"
}
expect_true() { # description, command...
    local description=$1
    shift
    checks=$((checks + 1))
    "$@" || fail "$description"
}
finish_checks() { # name
    echo "$1: $((checks - failures)) passed, $failures failed"
    [ "$failures" -eq 0 ]
}
