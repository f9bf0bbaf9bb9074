#include "ldap_server.h"

#include <signal.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "eventually.h"
#include "tcp_client.h"

namespace zv::test {

namespace {

void mustRun(const std::vector<std::string>& argv, const std::string& input = {}) {
    std::string output;
    if (runCommand(argv, &output, input) != 0) throw std::runtime_error(argv.front() + " failed: " + output);
}

}  // namespace

bool LdapServer::available() {
    return ::access("/usr/sbin/slapd", X_OK) == 0 && ::access("/usr/sbin/slapadd", X_OK) == 0 &&
           ::access("/usr/bin/ldapmodify", X_OK) == 0 && ::access("/usr/bin/openssl", X_OK) == 0;
}

LdapServer::LdapServer(const std::string& ldif) : dir_("zv-ldap") {
    const std::string d = dir_.path();
    caFile_ = d + "/ca.pem";
    // A certificate authority of the test, and the server's certificate for
    // 127.0.0.1 signed by it.
    mustRun({"openssl",
             "req",
             "-x509",
             "-newkey",
             "ec",
             "-pkeyopt",
             "ec_paramgen_curve:prime256v1",
             "-nodes",
             "-keyout",
             d + "/ca.key",
             "-out",
             caFile_,
             "-days",
             "2",
             "-subj",
             "/CN=Zelvora test CA",
             "-addext",
             "basicConstraints=critical,CA:TRUE",
             "-addext",
             "keyUsage=critical,keyCertSign,cRLSign"});
    mustRun({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", d + "/server.key", "-out", d + "/server.csr", "-subj", "/CN=127.0.0.1"});
    writeFile(d + "/server.ext", "subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n");
    mustRun({"openssl", "x509", "-req", "-in", d + "/server.csr", "-CA", caFile_, "-CAkey", d + "/ca.key",
             "-CAcreateserial", "-out", d + "/server.pem", "-days", "2", "-extfile", d + "/server.ext"});

    makeFolder(d + "/db");
    writeFile(d + "/slapd.conf",
              "include /etc/ldap/schema/core.schema\n"
              "include /etc/ldap/schema/cosine.schema\n"
              "include /etc/ldap/schema/inetorgperson.schema\n"
              "include /etc/ldap/schema/nis.schema\n"
              "pidfile " +
                  d +
                  "/slapd.pid\n"
                  "modulepath /usr/lib/ldap\n"
                  "moduleload back_mdb\n"
                  "TLSCACertificateFile " +
                  caFile_ +
                  "\n"
                  "TLSCertificateFile " +
                  d +
                  "/server.pem\n"
                  "TLSCertificateKeyFile " +
                  d +
                  "/server.key\n"
                  "database mdb\n"
                  "maxsize 10485760\n"
                  "suffix \"" +
                  kSuffix +
                  "\"\n"
                  "rootdn \"" +
                  kManager +
                  "\"\n"
                  "rootpw " +
                  kManagerPassword +
                  "\n"
                  "directory " +
                  d +
                  "/db\n"
                  "access to attrs=userPassword by anonymous auth by self read by * none\n"
                  "access to * by * read\n");
    writeFile(d + "/data.ldif",
              "dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\no: Example\ndc: "
              "example\n\n" +
                  ldif);
    mustRun({"/usr/sbin/slapadd", "-q", "-f", d + "/slapd.conf", "-l", d + "/data.ldif"});

    ldapPort_ = freeTcpPort();
    ldapsPort_ = freeTcpPort();
    slapd_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/sbin/slapd", "-d", "0", "-f", d + "/slapd.conf", "-h",
                                 ldapUri() + "/ " + ldapsUri() + "/"},
        d + "/slapd.log");
    const bool listening = eventually([&] {
        TcpClient probe;
        return probe.tryConnect(ldapsPort_) && TcpClient().tryConnect(ldapPort_);
    });
    if (!listening) throw std::runtime_error("slapd did not listen: " + readFile(d + "/slapd.log"));
}

LdapServer::~LdapServer() { stop(); }

std::string LdapServer::ldapUri() const { return "ldap://127.0.0.1:" + std::to_string(ldapPort_); }
std::string LdapServer::ldapsUri() const { return "ldaps://127.0.0.1:" + std::to_string(ldapsPort_); }

void LdapServer::modify(const std::string& ldif) const {
    mustRun({"ldapmodify", "-x", "-H", ldapUri(), "-D", kManager, "-w", kManagerPassword}, ldif);
}

void LdapServer::freeze() { slapd_->signal(SIGSTOP); }
void LdapServer::thaw() { slapd_->signal(SIGCONT); }

void LdapServer::stop() {
    if (slapd_) slapd_->stop();
}

}  // namespace zv::test
