#!/usr/bin/env bash
# Runs a command beside a throwaway PostgreSQL server: a fresh cluster in a
# temporary folder, on a free port of 127.0.0.1 with its socket in that folder,
# stopped and removed when the command ends, whether it succeeds or not. The
# command finds it in TERVALO_TEST_POSTGRESQL (postgresql://tervalo@127.0.0.1:PORT/postgres)
# with the password in PGPASSWORD. PostgreSQL refuses to run as root, so as
# root the server runs as the user "nobody". Without PostgreSQL installed the
# command runs alone and says so.
#   scripts/with-postgresql.sh COMMAND [ARG...]
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "PostgreSQL не установлен (нет initdb): проверки с PostgreSQL пропущены" >&2
    exec "$@"
fi

# As root, in /tmp: the server's user has to reach the folder, and a TMPDIR
# inside root's home would shut it out.
if [ "$(id -u)" -eq 0 ]; then
    dir=$(mktemp -d /tmp/tervalo-pg.XXXXXX)
else
    dir=$(mktemp -d "${TMPDIR:-/tmp}/tervalo-pg.XXXXXX")
fi
owner=()
if [ "$(id -u)" -eq 0 ]; then
    chown "nobody:$(id -gn nobody)" "$dir"
    owner=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
as_owner() { "${owner[@]}" "$@"; }

stop() {
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
(umask 077 && printf '%s\n' "$password" > "$dir/password")
[ ${#owner[@]} -eq 0 ] || chown nobody "$dir/password"
if ! as_owner "$bindir/initdb" -D "$dir/data" -U tervalo --pwfile="$dir/password" --auth-local=trust \
        --auth-host=scram-sha-256 -E UTF8 --no-locale >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    echo "PostgreSQL: initdb не удался" >&2
    exit 1
fi
rm -f "$dir/password"

port=
for attempt in 1 2 3 4 5 6 7 8; do
    candidate=$((20000 + RANDOM % 30000))
    # Something answering there already: try another.
    if (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
        continue
    fi
    if as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
            -o "-p $candidate -k $dir -c listen_addresses=127.0.0.1" start >/dev/null; then
        port=$candidate
        break
    fi
done
if [ -z "$port" ]; then
    cat "$dir/server.log" >&2 || true
    echo "PostgreSQL: сервер не запустился" >&2
    exit 1
fi
echo "PostgreSQL $("$bindir/postgres" --version | awk '{print $3}') для проверок: 127.0.0.1:$port, $dir"

export TERVALO_TEST_POSTGRESQL="postgresql://tervalo@127.0.0.1:$port/postgres"
export PGPASSWORD="$password"
"$@"
