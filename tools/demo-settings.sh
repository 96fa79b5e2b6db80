# Sourced by the demo scripts: demo_settings DIR writes the demo's archive
# settings into DIR.
# shellcheck shell=sh
demo_settings() {
  # Archives of the batch configuration (acqreg.dat): the fixed attendance
  # layout, one user-defined layout (format PAGHE), production in both
  # layouts, canteen.
  blank() { printf '%-255s\r\n' ""; }
  {
    printf '0\r\n1\r\n'; blank; blank
    printf '1 %-10s\r\n' PAGHE; blank; blank
    printf '0 %-10s\r\n' ""; blank; blank
    printf '1\r\n'; blank; blank
    printf '1\r\n'; blank; blank
    printf '1\r\n'; blank; blank
  } > "$1/acqreg.dat"
  cp "$1/acqreg.dat" "$1/recent.dat"
  printf '%-10s %-30s %-64s %-3s %-3s\r\n' \
    PAGHE "Paghe e stipendi" '%t;%n;%g/%m/20%a;%H:%M;%v' E U \
    ACCESSI "Controllo accessi" '%4t %-2v %z-%6n %a%m%g%H%M %c' IN OUT > "$1/format.dat"
}
