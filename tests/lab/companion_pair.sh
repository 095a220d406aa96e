# Two instances that talk to the companion at once, for tests/lab/check_companion.sh (Linux) and
# tests/win32/companion_check.sh (the Windows build under Wine). Source it after lab_common.sh
# (pass, fail, crlf). Works under set -e.
#
# Each instance sends commands and waits for replies to key words of its own, as long as a slot
# takes, one exchange right after the other: A many times, B a few times, starting once A is under
# way. The lock among our instances keeps one's key word from replacing the other's while it waits:
# each gets the replies to its own key words, in order, and the companion sees every key word once
# and every text whole, of one sender (a command the companion had not read yet when the next one
# came is lost, never mixed with it). And B gets its turns while A is still at it: its last key word
# comes before A's last.

# The lines of a run's output file, without CRs and indent.
lines() { tr -d '\r' <"$1" | sed 's/^ *//'; }

pair_pad=$(printf 'x%.0s' $(seq 110))
pair_rounds_a=120
pair_rounds_b=6

# pair_scripts FOLDER: FOLDER/pairA.scpt and FOLDER/pairB.scpt.
pair_scripts() {
  local who k rounds
  for who in A B; do
    rounds=pair_rounds_${who,}
    for k in $(seq "${!rounds}"); do
      printf 'LogView_Send( Command:"%s-%s-send-%s", DelayRunSec:0 );\n' "$who" "$k" "$pair_pad"
      printf 'LogView_Wait( Command:"%s-%s-ask-%s", TimeoutSec:20 );\n' "$who" "$k" "$pair_pad"
    done | crlf >"$1/pair$who.scpt"
  done
}

# pair_start_b PEER_LOG: returns once A's first key word is in the companion's log (at most 30 s).
pair_start_b() {
  local _
  for _ in $(seq 600); do grep -q '^keyword: A-1-' "$1" 2>/dev/null && return 0; sleep 0.05; done
}

# pair_verdict FOLDER PEER_LOG: checks FOLDER/pairA.out and pairB.out (the runs' output) and
# pairA.rc and pairB.rc (their exit codes) and the companion's log (the stand-in's [Peer] Log).
pair_verdict() {
  local who k want got rc texts torn asked received order rounds
  for who in A B; do
    rounds=pair_rounds_${who,}
    want=$(for k in $(seq "${!rounds}"); do echo "Result : reply to $who-$k-ask-$pair_pad"; done)
    got=$(lines "$1/pair$who.out" | grep '^Result : ' || true)
    rc=$(cat "$1/pair$who.rc")
    [ "$got" = "$want" ] && [ "$rc" = 0 ] &&
      pass "two instances: $who got the replies to its own ${!rounds} key words, in order" ||
      fail "two instances: $who (exit $rc) got: $(diff <(echo "$want") <(echo "$got") | head -4 | tr '\n' '|')"
  done
  texts=$(for who in A B; do
    rounds=pair_rounds_${who,}
    for k in $(seq "${!rounds}"); do
      echo "command: $who-$k-send-$pair_pad"
      echo "keyword: $who-$k-ask-$pair_pad"
    done
  done | sort)
  received=$(tr -d '\r' <"$2" | sort)
  torn=$(comm -13 <(echo "$texts") <(echo "$received"))
  asked=$(grep -c '^keyword: ' <<<"$received" || true)
  [ -z "$torn" ] && [ "$asked" = $((pair_rounds_a + pair_rounds_b)) ] &&
    pass "two instances: the companion read $asked whole key words and $(grep -c '^command: ' <<<"$received" || true) whole commands" ||
    fail "two instances: $asked key words; texts not sent as such: $(tr '\n' '|' <<<"$torn")"
  # The senders of the key words in the order they came, one letter each.
  order=$(tr -d '\r' <"$2" | sed -n 's/^keyword: \(.\).*/\1/p' | tr -d '\n')
  [[ "$order" == *B*A ]] && pass "two instances: B had its turns while A was at it ($order)" ||
    fail "two instances: B waited for A to finish: $order"
}
