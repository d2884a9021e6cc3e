#!/usr/bin/env bash
# The figures of a benchmark run against their anchors and goals, as one
# table: bench/ratios.sh [DIR [OUT]] reads the JSON each bench_* binary wrote
# to DIR (out/bench: --benchmark_out=DIR/<binary>.json) and prints the table,
# also writing it to OUT (out/bench-ratios.txt). ./dev bench runs it last.
#
# Each figure is the median of the run's repetitions. An anchor is another
# benchmark of the same run (the sqlite3 shell doing the same work, or the
# size of the text loaded), never a constant. A figure whose benchmark failed,
# was skipped or did not run says so and counts as above its goal; one whose
# anchor could not run says why instead of a ratio and is not judged on it.
set -euo pipefail

DIR=${1:-out/bench}
OUT=${2:-out/bench-ratios.txt}

# value BINARY BENCHMARK FIELD: the median of FIELD (real_time, in ms, or a
# counter) over the repetitions of BENCHMARK, or "error: <why>".
value() {
    local file="$DIR/$1.json"
    if [ ! -s "$file" ]; then
        echo "error: $1 did not run"
        return
    fi
    jq -r --arg run "$2" --arg field "$3" '
        def base: gsub("/(iterations|repeats|threads|min_time|min_warmup_time):[^/]+"; "")
                  | sub("/(real|manual)_time$"; "");
        def ms: .real_time * ({"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[.time_unit] // 1);
        def val: if $field == "real_time" then ms else .[$field] end;
        def median: sort | if length % 2 == 1 then .[length / 2 | floor]
                           else (.[length / 2 - 1] + .[length / 2]) / 2 end;
        [.benchmarks[] | select((.run_name // .name | base) == $run)] as $all
        | ($all | map(select(.error_occurred == true))) as $failed
        | ($all | map(select(.run_type == "aggregate" and .aggregate_name == "median"))) as $median
        | ($all | map(select(.run_type == "iteration" and (.error_occurred | not)))) as $runs
        | if ($failed | length) > 0 then "error: " + ($failed[0].error_message // "failed")
          elif ($median | length) > 0 then
              ($median[0] | val) as $v
              | if $v == null then "error: no \($field) in its results" else $v end
          elif ($runs | length) > 0 then
              ($runs | map(val)) as $vs
              | if any($vs[]; . == null) then "error: no \($field) in its results"
                else $vs | median end
          else "error: not in this run" end
    ' "$file" 2>/dev/null || echo "error: $file unreadable"
}

failed() { [[ $1 == error:* ]]; }
why() { echo "${1#error: }"; }
fmt() { LC_ALL=C awk -v v="$1" -v d="$2" 'BEGIN { printf "%.*f", d, v }'; }
ms() { if LC_ALL=C awk -v v="$1" 'BEGIN { exit !(v < 10) }'; then fmt "$1" 2; else fmt "$1" 1; fi; }
# le A B: A <= B.
le() { LC_ALL=C awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
div() { LC_ALL=C awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6g", a / b }'; }

ROWS=()
row() { ROWS+=("$(printf '%s\t' "$@")"); }
HEAD=(figure ours anchor ratio goal verdict)

# timed_against NAME BINARY OURS ANCHOR_BINARY ANCHOR ANCHOR_NAME MAX_RATIO
timed_against() {
    local name=$1 ours anchor ratio
    ours=$(value "$2" "$3" real_time)
    anchor=$(value "$4" "$5" real_time)
    if failed "$ours"; then
        row "$name" "no figure: $(why "$ours")" "—" "—" "ratio ≤ $7" "above goal"
    elif failed "$anchor"; then
        row "$name" "$(ms "$ours") ms" "anchor unavailable: $(why "$anchor")" "—" "ratio ≤ $7" \
            "not judged"
    else
        ratio=$(div "$ours" "$anchor")
        row "$name" "$(ms "$ours") ms" "$(ms "$anchor") ms ($6)" "$(fmt "$ratio" 2)" \
            "ratio ≤ $7" "$(le "$ratio" "$7" && echo ok || echo above goal)"
    fi
}

# timed NAME BINARY BENCHMARK [MAX_MS]: a time against its goal; without
# one, shown and not judged.
timed() {
    local ours goal="—" missing="not judged"
    if [ -n "${4:-}" ]; then
        goal="≤ $4 ms"
        missing="above goal"
    fi
    ours=$(value "$2" "$3" real_time)
    if failed "$ours"; then
        row "$1" "no figure: $(why "$ours")" "—" "—" "$goal" "$missing"
    elif [ -z "${4:-}" ]; then
        row "$1" "$(ms "$ours") ms" "—" "—" "—" "shown"
    else
        row "$1" "$(ms "$ours") ms" "—" "—" "$goal" "$(le "$ours" "$4" && echo ok || echo above goal)"
    fi
}

# scaling WHAT BENCHMARK: bench_server's BENCHMARK/rows:N at each size, in ms
# and ms per 1,000 rows. Linear growth: the cost per row at a size is at
# most 1.5 times the cost per row at the size before.
scaling() {
    local what=$1 n t per ratio prev="" prevn=""
    for n in 1000 10000 99998; do
        local name
        name="$what, $(LC_ALL=C awk -v n="$n" 'BEGIN { printf "%d,%03d", n / 1000, n % 1000 }') rows"
        t=$(value bench_server "$2/rows:$n" real_time)
        if failed "$t"; then
            row "$name" "no figure: $(why "$t")" "—" "—" "linear" "above goal"
            prev=""
            continue
        fi
        per=$(div "$t" "$(div "$n" 1000)")
        if [ -z "$prev" ]; then
            row "$name" "$(ms "$t") ms = $(ms "$per") ms/1k rows" "—" "—" "—" "ok"
        else
            ratio=$(div "$per" "$prev")
            row "$name" "$(ms "$t") ms = $(ms "$per") ms/1k rows" "—" \
                "$(fmt "$ratio" 2)× per row of $prevn" "linear: ≤ 1.5× per row" \
                "$(le "$ratio" 1.5 && echo ok || echo above goal)"
        fi
        prev=$per
        prevn=$(LC_ALL=C awk -v n="$n" 'BEGIN { printf "%d,%03d", n / 1000, n % 1000 }')
    done
}

timed_against "list of 99,998: GetConvOrceve into the dataset" \
    bench_server BM_GetConvOrceve/rows:99998 bench_server BM_Sqlite3ShellJsonList "sqlite3 -json" 1.0
timed_against "import of 99,998 lines: GetImpLista" \
    bench_server BM_GetImpLista/rows:99998 bench_server BM_Sqlite3ShellImport "sqlite3 .import" 1.5
timed "confirm a guest on a 5,000-guest list to the saved guest shown" \
    bench_listconv_save BM_ConfirmNewGuest/guests_5000 10

# Client memory per loaded guest against the JSON text of that guest.
memory() {
    local name="client memory per loaded guest" ours anchor ratio
    local goal="ratio ≤ 2.0 and ≤ 400 B"
    ours=$(value bench_datapacket BM_LoadGuestPacketFromJson bytes_per_row)
    anchor=$(value bench_datapacket BM_LoadGuestPacketFromJson json_bytes_per_row)
    if failed "$ours"; then
        row "$name" "no figure: $(why "$ours")" "—" "—" "$goal" "above goal"
    elif failed "$anchor"; then
        row "$name" "$(fmt "$ours" 0) B" "anchor unavailable: $(why "$anchor")" "—" "$goal" \
            "$(le "$ours" 400 && echo "not judged" || echo above goal)"
    else
        ratio=$(div "$ours" "$anchor")
        row "$name" "$(fmt "$ours" 0) B" "$(fmt "$anchor" 0) B (its JSON)" "$(fmt "$ratio" 2)" "$goal" \
            "$(le "$ratio" 2.0 && le "$ours" 400 && echo ok || echo above goal)"
    fi
}
memory

timed "leaving the filter panel to the painted grid, 99,998 guests" \
    bench_listconv_load BM_LeaveFilterPanel/guests_99998 300
# A save after another user imported 99,997 guests into the list brings them
# as the list's changes: no slower than loading the whole list.
timed_against "a save after another user's import of 99,997 guests, to the painted grid" \
    bench_listconv_load BM_SaveAfterAnotherUsersImport \
    bench_listconv_load BM_LeaveFilterPanel/guests_99998 "whole load" 1.2
timed "spreadsheet of 5,000 rows previewed (read, guessed, dry run)" \
    bench_sheet BM_SheetPreview/rows:5000 500
timed "spreadsheet of 5,000 rows imported and reported" bench_sheet BM_SheetImport/rows:5000 1000
timed "XLSX of 99,998 rows read" bench_sheet BM_XlsxRead/rows:99998 2000
timed "list of 99,998 guests exported to XLSX" bench_sheet BM_ExportXlsx/guests:99998 2000
# The reception station in Chromium (bench/recepcao.mjs).
timed "station: search per keystroke, 5,000 guests (p95)" \
    bench_recepcao BM_RecepcaoTecla_p95/guests:5000 5
timed "station: search per keystroke, 99,998 guests (p95)" \
    bench_recepcao BM_RecepcaoTecla_p95/guests:99998 30
timed "station: page ready from a cold cache, 5,000 guests" \
    bench_recepcao BM_RecepcaoProntaFria/guests:5000 1000
timed "station: page ready from a cold cache, 99,998 guests" \
    bench_recepcao BM_RecepcaoProntaFria/guests:99998
timed "station: check-in round trip (median)" bench_recepcao BM_RecepcaoEntrada/median
timed "station: check-in round trip (p95)" bench_recepcao BM_RecepcaoEntrada_p95
timed "station: a check-in seen on another station (p99)" \
    bench_recepcao BM_RecepcaoVistaNaOutra_p99 1000
timed "station: 10 doors x 10 check-ins/s for 60 s, counts exact (check-in p99)" \
    bench_recepcao_carga BM_RecepcaoCarga
scaling "list load (GetConvOrceve)" BM_GetConvOrceve
scaling "import (GetImpLista)" BM_GetImpLista

# beside NAME BENCHMARK ANCHOR_BENCHMARK: a bench_server figure on PostgreSQL
# beside the same work on SQLite in the same run; shown, not judged.
beside() {
    local ours anchor
    ours=$(value bench_server "$2" real_time)
    anchor=$(value bench_server "$3" real_time)
    if failed "$ours"; then
        row "$1" "no figure: $(why "$ours")" "—" "—" "—" "not judged"
    elif failed "$anchor"; then
        row "$1" "$(ms "$ours") ms" "anchor unavailable: $(why "$anchor")" "—" "—" "not judged"
    else
        row "$1" "$(ms "$ours") ms" "$(ms "$anchor") ms (SQLite)" "$(fmt "$(div "$ours" "$anchor")" 2)" \
            "—" "shown"
    fi
}
beside "list of 99,998 on PostgreSQL: GetConvOrceve" BM_GetConvOrceve_PostgreSQL/rows:99998 \
    BM_GetConvOrceve/rows:99998
# The PostgreSQL import (COPY) is judged against SQLite's in the same run.
timed_against "import of 99,998 lines on PostgreSQL: GetImpLista" \
    bench_server BM_GetImpLista_PostgreSQL/rows:99998 bench_server BM_GetImpLista/rows:99998 \
    "SQLite" 1.5

# Saves per second of 20 clients: PostgreSQL over two servers beside one
# server on SQLite; shown, not judged.
throughput() {
    local ours anchor
    ours=$(value bench_throughput "BM_SavesPerSecond/postgresql:1/servers:2" saves_per_second)
    anchor=$(value bench_throughput "BM_SavesPerSecond/postgresql:0/servers:1" saves_per_second)
    if failed "$ours" || failed "$anchor"; then
        row "saves per second, 20 clients" "no figure: $(why "$ours") / $(why "$anchor")" "—" "—" \
            "—" "not judged"
    else
        row "saves per second, 20 clients, 2 servers on PostgreSQL" "$(fmt "$ours" 0)/s" \
            "$(fmt "$anchor" 0)/s (1 server, SQLite)" "$(fmt "$(div "$ours" "$anchor")" 2)" "—" "shown"
    fi
}
throughput

# Writers of different lists on PostgreSQL lock their lists, not the
# database: 20 clients saving to 20 lists through two servers against one
# server, same run; goal: at least 1.6 times.
scaling_out() {
    local name="saves per second, 20 clients on PostgreSQL: 2 servers against 1" two one ratio
    two=$(value bench_throughput "BM_SavesPerSecond/postgresql:1/servers:2" saves_per_second)
    one=$(value bench_throughput "BM_SavesPerSecond/postgresql:1/servers:1" saves_per_second)
    if failed "$two" || failed "$one"; then
        row "$name" "no figure: $(why "$two") / $(why "$one")" "—" "—" "ratio ≥ 1.6" "above goal"
    else
        ratio=$(div "$two" "$one")
        row "$name" "$(fmt "$two" 0)/s" "$(fmt "$one" 0)/s (1 server)" "$(fmt "$ratio" 2)" \
            "ratio ≥ 1.6" "$(le 1.6 "$ratio" && echo ok || echo below goal)"
    fi
}
scaling_out

# The table, each column as wide as its widest cell (jq counts characters,
# not bytes, so the dashes line up).
mkdir -p "$(dirname "$OUT")"
{
    printf '%s\t' "${HEAD[@]}"
    printf '\n'
    printf '%s\n' "${ROWS[@]}"
} | jq -Rrs '
    split("\n") | map(select(length > 0) | rtrimstr("\t") | split("\t")) as $rows
    | [range(0; $rows[0] | length) as $c | $rows | map(.[$c] // "" | length) | max] as $w
    | def line: [range(0; length) as $c | .[$c] + " " * ($w[$c] - (.[$c] | length))]
                | join("  ") | sub(" +$"; "");
      ($rows[0] | line),
      ([$w[] | "-" * .] | join("  ")),
      ($rows[1:][] | line)
' | tee "$OUT"
above=$(printf '%s\n' "${ROWS[@]}" | grep -c $'\t\\(above\\|below\\) goal\t$' || true)
unjudged=$(printf '%s\n' "${ROWS[@]}" | grep -c $'\tnot judged\t$' || true)
echo "${#ROWS[@]} lines: $above above goal, $unjudged not judged" | tee -a "$OUT"
