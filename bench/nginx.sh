# Sourced by the benchmark scripts: starts nginx on a free 127.0.0.1 port serving "$work/root"
# under the given server names, sets $port and $nginx_pid; the caller's cleanup kills it.
# Usage: bench_nginx_start "server names"
bench_nginx_start() {
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat > "$work/nginx.conf" <<CONF
master_process off;
worker_processes 1;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $work/t_body;
    proxy_temp_path $work/t_proxy;
    fastcgi_temp_path $work/t_fastcgi;
    uwsgi_temp_path $work/t_uwsgi;
    scgi_temp_path $work/t_scgi;
    default_type application/octet-stream;
    sendfile on;
    keepalive_requests 10000;
    server { listen 127.0.0.1:$port default_server; server_name _; return 404; }
    server { listen 127.0.0.1:$port; server_name $1; root $work/root; }
}
CONF
    nginx -p "$work" -c "$work/nginx.conf" -g "daemon off; pid $work/nginx.pid; error_log $work/error.log;" &
    nginx_pid=$!
    tries=0
    until curl -s -o /dev/null "http://127.0.0.1:$port/"; do
        tries=$((tries + 1))
        if [ "$tries" -ge 100 ]; then echo "nginx did not start" >&2; cat "$work/error.log" >&2; exit 1; fi
        sleep 0.1
    done
}
