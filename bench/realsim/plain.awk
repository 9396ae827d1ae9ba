# Rewrites a dump into the plainest VCD: identifier codes of letters only (prefixed so that none
# reads as a keyword, unit or value), scope names without brackets, "$scope module" throughout.
# Converters that predate the widened grammar read the result, so they can be timed on it.
function code(n,   s) {
  s = "q"
  do { s = s substr(letters, n % 52 + 1, 1); n = int(n / 52) } while (n > 0)
  return s
}
BEGIN { letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ" }
/^\$scope/ { gsub(/\[/, "_", $3); gsub(/\]/, "", $3); $2 = "module"; print; next }
/^\$var/ {
  if (!($4 in map)) map[$4] = code(count++)
  $4 = map[$4]
  print
  next
}
/^[01xzXZ]/ { print substr($0, 1, 1) map[substr($0, 2)]; next }
/^[bBrR]/ { print $1, map[$2]; next }
{ print }
