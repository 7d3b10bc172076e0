#!/bin/bash
# Sets up the PostgreSQL server of an office whose desks share one database (Debian 12,
# run as root on the server machine): installs PostgreSQL when missing, creates the
# owner role (holds the schema and the tables; used once, for the first start or the
# copy to the server), the program role (the desks log in as it; rights in
# server-roles.sql), the database, the office's certificate authority and the server's
# certificate, makes the server listen with TLS, accepts both roles from the office's
# network over TLS with a password, restarts the server and prints the connection
# strings. Running it again keeps the roles' passwords, the authority and a server
# certificate that still fits.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: server-setup.sh [options]   (as root, on the server machine)

  --network CIDR        the office's network the desks connect from (192.168.1.0/24)
  --host NAME           the server's name (or address) the desks connect to; the
                        server certificate is made for it (this machine's name)
  --database NAME       the database (fenwary)
  --schema NAME         the schema holding the tables (fenwary)
  --owner-role NAME     the role owning the schema and the tables (fenwary_owner)
  --program-role NAME   the role the desks log in as (fenwary)
  --ask-passwords       ask the new roles' passwords instead of generating them
  --new-passwords       give existing roles new passwords too
EOF
}

die() {
  echo "server-setup.sh: $*" >&2
  exit 1
}

network=192.168.1.0/24
host="$(hostname -f 2>/dev/null || hostname)"
database=fenwary
schema=fenwary
owner=fenwary_owner
program=fenwary
ask=0
renew=0

while [ $# -gt 0 ]; do
  case "$1" in
    --network | --host | --database | --schema | --owner-role | --program-role)
      [ $# -ge 2 ] || die "$1 needs a value"
      case "$1" in
        --network) network="$2" ;;
        --host) host="$2" ;;
        --database) database="$2" ;;
        --schema) schema="$2" ;;
        --owner-role) owner="$2" ;;
        --program-role) program="$2" ;;
      esac
      shift 2
      ;;
    --ask-passwords) ask=1; shift ;;
    --new-passwords) renew=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; die "unknown option: $1" ;;
  esac
done

# Plain names only: they stand unquoted in pg_hba.conf and in the connection strings.
for name in "$database" "$schema" "$owner" "$program"; do
  [[ "$name" =~ ^[a-z_][a-z0-9_]{0,62}$ ]] || die "not a plain name (a-z, 0-9, _): $name"
done
[ "$owner" != "$program" ] || die "the owner role and the program role must differ"
[[ "$network" =~ ^[0-9a-fA-F:.]+/[0-9]{1,3}$ ]] || die "not a network (address/prefix): $network"
[[ "$host" =~ ^[A-Za-z0-9.:-]+$ ]] || die "not a host name or address: '$host' (give --host)"
[ "$(id -u)" -eq 0 ] || die "run it as root"

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rights="$here/server-roles.sql"
[ -r "$rights" ] || die "missing $rights"

# ---- PostgreSQL and its cluster ----------------------------------------------

if ! command -v pg_lsclusters >/dev/null 2>&1 || ! ls /usr/lib/postgresql/*/bin/postgres >/dev/null 2>&1; then
  echo "Installing PostgreSQL..."
  DEBIAN_FRONTEND=noninteractive apt-get install -y postgresql >/dev/null
fi
# The cluster "main" of the newest version that has one (apt-get made it), else a new one.
cluster=main
version="$(pg_lsclusters --no-header | awk -v c="$cluster" '$2 == c { print $1 }' | sort -V | tail -n 1)"
if [ -z "$version" ]; then
  version="$(find /usr/lib/postgresql -mindepth 1 -maxdepth 1 -printf '%f\n' | sort -V | tail -n 1)"
  pg_createcluster "$version" "$cluster" >/dev/null
fi
[ "${version%%.*}" -ge 15 ] 2>/dev/null || die "PostgreSQL 15 or later is needed (found $version)"
etc="/etc/postgresql/$version/$cluster"
pg_ctlcluster "$version" "$cluster" status >/dev/null 2>&1 || pg_ctlcluster "$version" "$cluster" start
port="$(pg_lsclusters --no-header | awk -v v="$version" -v c="$cluster" '$1 == v && $2 == c { print $3 }')"

sql() {
  runuser -u postgres -- psql -X -q -v ON_ERROR_STOP=1 -p "$port" "$@"
}

# A value for psql's \set: quoted, its backslashes and quotes doubled.
psql_quoted() {
  local s="${1//\\/\\\\}"
  printf "'%s'" "${s//\'/\'\'}"
}

new_password() {
  local pw again
  if [ "$ask" -eq 1 ]; then
    while :; do
      read -rs -p "Password for role $1: " pw </dev/tty; echo >/dev/tty
      read -rs -p "Again: " again </dev/tty; echo >/dev/tty
      [ -n "$pw" ] && [ "$pw" = "$again" ] && break
      echo "Empty or not the same; again." >/dev/tty
    done
  else
    pw="$(openssl rand -base64 48 | tr -dc 'A-Za-z0-9')"
    pw="${pw:0:24}"
  fi
  printf '%s' "$pw"
}

role_exists() {
  [ "$(sql -d postgres -tAc "select 1 from pg_roles where rolname = '$1'")" = 1 ]
}

# ---- Roles and database ------------------------------------------------------

declare -A password=()
for role in "$owner" "$program"; do
  if ! role_exists "$role"; then
    sql -d postgres -c "create role \"$role\" login"
    password[$role]="$(new_password "$role")"
  elif [ "$renew" -eq 1 ]; then
    password[$role]="$(new_password "$role")"
  fi
  if [ -n "${password[$role]:-}" ]; then
    # Through standard input, so that the password is on no command line.
    sql -d postgres <<SQL
\\set pw $(psql_quoted "${password[$role]}")
set password_encryption = 'scram-sha-256';
alter role "$role" login password :'pw';
SQL
  fi
done

have_owner="$(sql -d postgres -tAc "select pg_get_userbyid(datdba) from pg_database where datname = '$database'")"
if [ -z "$have_owner" ]; then
  # C ordering of text, as in the data file: door numbers sort by their characters.
  sql -d postgres -c "create database \"$database\" owner \"$owner\" encoding 'UTF8' locale 'C' template template0"
elif [ "$have_owner" != "$owner" ]; then
  die "database $database exists and belongs to $have_owner, not to $owner (give --owner-role $have_owner, or another --database)"
fi
sql -d "$database" -v owner="$owner" -v program="$program" -v schema="$schema" <"$rights"

# ---- Certificates ------------------------------------------------------------

# The office's own authority signs the server's certificate; the desks trust the
# authority (ca.crt), ca.key stays on this machine, readable by root only.
umask 077
if [ ! -f "$etc/ca.crt" ] || [ ! -f "$etc/ca.key" ]; then
  openssl req -new -x509 -days 3650 -nodes -subj "/CN=Fenwary office CA" \
    -keyout "$etc/ca.key" -out "$etc/ca.crt" 2>/dev/null
fi
chmod 600 "$etc/ca.key"
chmod 644 "$etc/ca.crt"
if [[ "$host" =~ ^[0-9.]+$ || "$host" == *:* ]]; then
  san="IP:$host"
  check=(-verify_ip "$host")
else
  san="DNS:$host"
  check=(-verify_hostname "$host")
fi
if [ ! -f "$etc/server.key" ] ||
  ! openssl verify -CAfile "$etc/ca.crt" "${check[@]}" "$etc/server.crt" >/dev/null 2>&1; then
  openssl req -new -nodes -subj "/CN=$host" -addext "subjectAltName=$san" \
    -keyout "$etc/server.key" -out "$etc/server.csr" 2>/dev/null
  openssl x509 -req -in "$etc/server.csr" -days 3650 -CA "$etc/ca.crt" -CAkey "$etc/ca.key" \
    -CAcreateserial -copy_extensions copy -out "$etc/server.crt" 2>/dev/null
  rm -f "$etc/server.csr"
fi
chown postgres:postgres "$etc/server.key" "$etc/server.crt"
chmod 600 "$etc/server.key"
chmod 644 "$etc/server.crt"
umask 022

# ---- Configuration -----------------------------------------------------------

# Debian's postgresql.conf reads conf.d last; our settings are one file there.
if ! grep -Eq "^\s*include_dir\s*=\s*'conf.d'" "$etc/postgresql.conf"; then
  echo "include_dir = 'conf.d'" >>"$etc/postgresql.conf"
fi
mkdir -p "$etc/conf.d"
cat >"$etc/conf.d/fenwary.conf" <<CONF
# Written by Fenwary's server-setup.sh: the desks connect over the network with TLS.
listen_addresses = '*'
ssl = on
ssl_cert_file = '$etc/server.crt'
ssl_key_file = '$etc/server.key'
password_encryption = 'scram-sha-256'
CONF
chown -R postgres:postgres "$etc/conf.d"

# The desks' lines in pg_hba.conf, between markers, replaced on every run.
hba="$etc/pg_hba.conf"
begin='# Fenwary desks (server-setup.sh) begin'
end='# Fenwary desks (server-setup.sh) end'
sed -i "/^$begin\$/,/^$end\$/d" "$hba"
cat >>"$hba" <<HBA
$begin
hostssl $database $program $network scram-sha-256
hostssl $database $owner $network scram-sha-256
$end
HBA

echo "Restarting PostgreSQL $version..."
if [ -d /run/systemd/system ]; then
  systemctl restart "postgresql@$version-$cluster"
else
  pg_ctlcluster "$version" "$cluster" restart
fi
pg_ctlcluster "$version" "$cluster" status >/dev/null || die "PostgreSQL did not start again; see /var/log/postgresql/"

# ---- What the desks need -----------------------------------------------------

cat <<EOF

The server is ready. Copy $etc/ca.crt to every desk as ~/.postgresql/root.crt
(never ca.key).

Once, for the first start (建立数据库 / 建立演示小区) or Tallowmere --copy-to-server,
with the owner's connection string:

    host=$host port=$port dbname=$database user=$owner

The desks, in 连接数据库服务器... or 数据库服务器.txt:

    host=$host port=$port dbname=$database user=$program
EOF
if [ ${#password[@]} -gt 0 ]; then
  echo
  echo "New passwords (shown only now; keep them, e.g. in ~/.pgpass, mode 0600):"
  for role in "$owner" "$program"; do
    if [ -n "${password[$role]:-}" ]; then
      # .pgpass escapes its separator and backslash.
      pw="${password[$role]//\\/\\\\}"
      echo "    $host:$port:$database:$role:${pw//:/\\:}"
    fi
  done
fi
exit 0
