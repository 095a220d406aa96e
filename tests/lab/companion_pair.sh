# Two instances that talk to the companion at once, for tests/lab/check_companion.sh (Linux) and
# tests/win32/companion_check.sh (the Windows build under Wine). Source it after lab_common.sh
# (pass, fail, crlf). Works under set -e.
#
# Each instance sends commands and waits for replies to key words of its own, as long as a slot
# takes. The lock among our instances keeps one's key word from replacing the other's while it
# waits: each gets the replies to its own key words, in order, and the companion sees every key word
# once and every text whole, of one sender. A command the companion had not read yet when the next
# one came is lost, never mixed with it.

pair_pad=$(printf 'x%.0s' $(seq 110))

# pair_scripts FOLDER ROUNDS: FOLDER/pairA.scpt and FOLDER/pairB.scpt.
pair_scripts() {
  local who k
  for who in A B; do
    for k in $(seq "$2"); do
      printf 'LogView_Send( Command:"%s-%s-send-%s", DelayRunSec:0 );\n' "$who" "$k" "$pair_pad"
      printf 'LogView_Wait( Command:"%s-%s-ask-%s", TimeoutSec:20 );\n' "$who" "$k" "$pair_pad"
    done | crlf >"$1/pair$who.scpt"
  done
}

# pair_verdict FOLDER ROUNDS PEER_LOG: checks FOLDER/pairA.out and pairB.out (the runs' output) and
# pairA.rc and pairB.rc (their exit codes) and the companion's log (the stand-in's [Peer] Log).
pair_verdict() {
  local who k want got rc texts torn asked received turns
  for who in A B; do
    want=$(for k in $(seq "$2"); do echo "Result : reply to $who-$k-ask-$pair_pad"; done)
    got=$(tr -d '\r' <"$1/pair$who.out" | sed 's/^ *//' | grep '^Result : ' || true)
    rc=$(cat "$1/pair$who.rc")
    [ "$got" = "$want" ] && [ "$rc" = 0 ] &&
      pass "two instances: $who got the replies to its own $2 key words, in order" ||
      fail "two instances: $who (exit $rc) got: $(tr '\n' '|' <<<"$got")"
  done
  texts=$(for who in A B; do for k in $(seq "$2"); do
    echo "command: $who-$k-send-$pair_pad"
    echo "keyword: $who-$k-ask-$pair_pad"
  done; done | sort)
  # How often the key words' sender changed, in the order they came: above 1, the runs overlapped.
  turns=$(tr -d '\r' <"$3" | awk '/^keyword: / { w = substr($2, 1, 1); if (p != "" && w != p) n++; p = w } END { print n + 0 }')
  received=$(tr -d '\r' <"$3" | sort)
  torn=$(comm -13 <(echo "$texts") <(echo "$received"))
  asked=$(grep -c '^keyword: ' <<<"$received" || true)
  [ -z "$torn" ] && [ "$asked" = $((2 * $2)) ] &&
    pass "two instances: the companion read $asked whole key words and $(grep -c '^command: ' <<<"$received" || true) whole commands (the sender changed $turns times)" ||
    fail "two instances: $asked key words; texts not sent as such: $(tr '\n' '|' <<<"$torn")"
}
