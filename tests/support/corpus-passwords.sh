# Sourced by the corpus scripts. corpus_passwords NAME prints the passwords
# the corpus README gives for file NAME: the user's first, then the owner's
# (either may be missing; nothing for a file without a password).
corpus_passwords() {
  local name=$1
  case $name in
    *005-libreoffice-writer-password*) echo "openpassword permissionpassword"; return ;;
    encrypted-40-bit-R3.pdf) echo "623"; return ;;
  esac
  local user owner
  user=$(sed -n 's/.*U=\([^,]*\)[,.].*/\1/p' <<<"$name")
  owner=$(sed -n 's/.*O=\([^,]*\)\.pdf$/\1/p' <<<"$name")
  echo "$user $owner"
}
