# Sourced by the update end-to-end scripts after session.sh: the update host, a local HTTPS
# server on localhost:443 (tests/e2e/update_server.py) with a certificate from a test CA that
# is made once per build tree and added to the host's store, which Wine trusts. What it serves is
# the scenario written to $scenario; its requests are logged to $requests. Sourcing starts it;
# it stops, and the session ends, when the script exits.
scenario=$artefacts/scenario requests=$artefacts/requests.log
server_pid=

start_update_host() {
    local ca trusted=/usr/local/share/ca-certificates/torvane-test-ca.crt
    ca=$(dirname "$WINEPREFIX")/e2e-update-ca
    if [[ ! -f $ca/server.crt ]]; then
        mkdir -p "$ca"
        openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Torvane test CA" \
            -keyout "$ca/ca.key" -out "$ca/ca.crt" 2>/dev/null
        openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$ca/server.key" \
            -out "$ca/server.csr" 2>/dev/null
        printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n' >"$ca/ext"
        openssl x509 -req -in "$ca/server.csr" -CA "$ca/ca.crt" -CAkey "$ca/ca.key" \
            -CAcreateserial -days 3650 -extfile "$ca/ext" -out "$ca/server.crt" 2>/dev/null
    fi
    if ! cmp -s "$ca/ca.crt" "$trusted"; then
        cp "$ca/ca.crt" "$trusted" && update-ca-certificates >/dev/null 2>&1 || {
            echo "FAILED: the test CA cannot be added to the host's store (run as root)"
            exit 1
        }
    fi
    : >"$requests"
    echo none >"$scenario"
    python3 "$here/update_server.py" "$ca/server.crt" "$ca/server.key" "$scenario" "$requests" \
        >"$artefacts/server.log" 2>&1 &
    server_pid=$!
    check "test server listening on localhost:443" until_true 10 grep -q ready "$artefacts/server.log"
}

stop_update_host() {
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
    server_pid=
}

finish() {
    end_session
    stop_update_host
}
trap finish EXIT
start_update_host
