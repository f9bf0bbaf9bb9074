#!/usr/bin/env bash
# Makes a local mail server available for the mail tests: Postfix listening on
# 127.0.0.1:25 only, delivering mail for <user>@localhost to the mbox file
# /var/mail/<user>. Installs Postfix when it is missing, creates the test
# mailbox user, starts or reloads Postfix and waits until port 25 answers.
# Safe to run again: a second run only checks and reloads.
set -euo pipefail

MAIL_USER="${ZV_MAIL_USER:-zvmail}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

port_answers() {
  timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/25 && head -c 3 <&3' 2>/dev/null | grep -q '^220'
}

if ! dpkg -s postfix >/dev/null 2>&1; then
  echo "Installing postfix"
  echo "postfix postfix/main_mailer_type select Local only" | $SUDO debconf-set-selections
  echo "postfix postfix/mailname string localhost" | $SUDO debconf-set-selections
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends postfix >/dev/null
fi

# Configuration: loopback only, local delivery to /var/mail, no chroot (the
# chroot needs copies of system files that a bare container may not have).
changed=0
set_main() {
  local key="$1" value="$2"
  if [ "$($SUDO postconf -h "$key" 2>/dev/null)" != "$value" ]; then
    $SUDO postconf -e "$key = $value"
    changed=1
  fi
}
set_main inet_interfaces loopback-only
set_main inet_protocols ipv4
set_main myhostname localhost
set_main mydestination 'localhost, localhost.localdomain, $myhostname'
set_main mynetworks '127.0.0.0/8'
set_main relayhost ''
set_main mailbox_command ''
set_main home_mailbox ''
set_main mail_spool_directory /var/mail
set_main alias_maps hash:/etc/aliases
set_main alias_database hash:/etc/aliases
if $SUDO postconf -M smtp/inet 2>/dev/null | awk '{ exit ($5 == "n") ? 0 : 1 }'; then
  :
else
  $SUDO postconf -F '*/*/chroot = n'
  changed=1
fi

[ -f /etc/aliases ] || echo "postmaster: root" | $SUDO tee /etc/aliases >/dev/null
# zvdiscard@localhost: accepted and thrown away (for the benchmarks).
if ! grep -q '^zvdiscard:' /etc/aliases; then
  echo "zvdiscard: /dev/null" | $SUDO tee -a /etc/aliases >/dev/null
  $SUDO newaliases
fi
[ -f /etc/aliases.db ] || $SUDO newaliases

if ! id -u "$MAIL_USER" >/dev/null 2>&1; then
  $SUDO useradd --no-create-home --shell /usr/sbin/nologin "$MAIL_USER"
fi
$SUDO mkdir -p /var/mail
# Tests find their mails by a tag of their own; keep the file from growing without end.
if [ -e "/var/mail/$MAIL_USER" ] && [ "$(stat -c %s "/var/mail/$MAIL_USER")" -gt 20000000 ]; then
  $SUDO truncate -s 0 "/var/mail/$MAIL_USER"
fi
[ -e "/var/mail/$MAIL_USER" ] || { $SUDO touch "/var/mail/$MAIL_USER"; $SUDO chown "$MAIL_USER":mail "/var/mail/$MAIL_USER"; $SUDO chmod 0660 "/var/mail/$MAIL_USER"; }

if $SUDO postfix status >/dev/null 2>&1; then
  if [ "$changed" -eq 1 ]; then $SUDO postfix reload >/dev/null 2>&1; fi
else
  $SUDO postfix start >/dev/null 2>&1 || $SUDO service postfix start >/dev/null 2>&1 || true
fi

for _ in $(seq 1 50); do
  if port_answers; then
    echo "Mail server ready on 127.0.0.1:25 (mailbox /var/mail/$MAIL_USER)"
    exit 0
  fi
  sleep 0.2
done
echo "Mail server did not answer on 127.0.0.1:25" >&2
exit 1
