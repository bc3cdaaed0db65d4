# Sourced by the shell checks: counts and prints named checks.
#   check NAME PROBLEMS...   passes when no problem is given; each problem
#                            is printed under the FAIL line
passed=0
failed=0
check() {
  local name="$1"
  shift
  if [[ $# -eq 0 ]]; then
    passed=$((passed + 1))
    echo "PASS $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    printf '     %s\n' "$@"
  fi
}
