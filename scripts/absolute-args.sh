# Sourced by run.sh and cli.sh. File arguments name paths from the caller's
# folder: absolute_args makes them absolute (into the array `args`) before
# the script changes to the repository. A word that names no existing file,
# such as a subcommand or an option, is kept as it is.
absolute_args() {
  args=()
  local arg
  for arg in "$@"; do
    if [[ "$arg" != -* && -e "$arg" ]]; then
      arg="$(realpath -s -- "$arg")"
    elif [[ "$arg" == --*=* && -e "${arg#*=}" ]]; then
      arg="${arg%%=*}=$(realpath -s -- "${arg#*=}")"
    fi
    args+=("$arg")
  done
}
