// The encrypted connection against a scripted TLS server: bytes slipped in
// before the handshake, a data connection that is not the server's, a server
// known to speak TLS that stops offering it, and a kept certificate that
// cannot be written or was written in other letters' case.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/cp1252.h"
#include "ftp/ftpTls.h"
#include "ftp/ftpTlsCanal.h"
#include "tlsServer.h"
#include "transferRig.h"

using namespace ftp;
using namespace ftp_test;

namespace {

struct TlsRig {
  TlsFtp server;
  GatedTela ui;
  ClientState st;
  Messages msg{ui};
  Rede rede{st, ui};
  Dlg dlg{st, ui, msg, rede};
  Tls tls{st, ui, msg, dlg, rede};
  Port port{st, dlg, rede};
  FakeDialogs dialogs;
  Transfer transfer{st, ui, msg, dlg, rede, port};
  RemoteTransfers transfers{st, ui, msg, transfer.files(), dialogs};
  std::filesystem::path scratch;

  TlsRig() {
    platform::ignoreProcessSignals();
    ui.settings["PRAZO"] = "3";
    ui.settings["TLS"] = "AUTO";
    scratch = std::filesystem::temp_directory_path() /
              ("naviro-tls-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    ui.configDir = scratch.string();
  }
  ~TlsRig() {
    rede.CloseConnections();
    std::filesystem::remove_all(scratch);
  }
  bool connect(const std::string& host = "127.0.0.1") {
    st.remoteName = st.remoteHost = host;
    st.controlPort = server.port();
    st.passive = true;
    return rede.OpenControlConnection().ok() && dlg.ReadReply() == 220;
  }
  // Connects and secures the connection, the certificate accepted.
  bool secure() {
    ui.keys.push_back('s');
    return connect() && tls.Secure();
  }
  std::string hostKey() const { return "127.0.0.1:" + std::to_string(server.port()); }
  std::string path(const std::string& name) const { return (scratch / name).string(); }
  bool heard(const std::string& key) const { return ui.has("announce " + key); }
  static int& counter() {
    static int n = 0;
    return n;
  }
};

}  // namespace

TEST(Tls, BytesSlippedInAfterThe234RefuseTheConnection) {
  for (const char* after : {"230 Entre\r\n", "200 PROT ok\r\n200", "2"}) {
    SCOPED_TRACE(after);
    TlsRig r;
    r.server.afterAuth = after;
    ASSERT_TRUE(r.connect());
    EXPECT_FALSE(r.tls.Secure());
    EXPECT_TRUE(r.heard("FTTLSINJ"));
    EXPECT_FALSE(r.ui.has("written FTTLSOK"));
    EXPECT_FALSE(r.dlg.hasUnreadBytes());
    EXPECT_EQ(r.server.commands(), std::vector<std::string>{"AUTH TLS"});
  }
}

TEST(Tls, ADataConnectionIsTakenOnlyFromTheServerAccepted) {
  struct Case {
    const char* name;
    TlsFtp::Data data;
    bool passive;
    bool send;
    bool completes;
    const char* heard;  // when it does not complete
  };
  const Case cases[] = {
      {"resumed session", TlsFtp::Data::Resumed, true, false, true, ""},
      {"same certificate, no session", TlsFtp::Data::SameCert, true, false, true, ""},
      {"same certificate, send", TlsFtp::Data::SameCert, true, true, true, ""},
      {"another certificate", TlsFtp::Data::OtherCert, true, false, false, "FTDADCER"},
      {"another certificate, active", TlsFtp::Data::OtherCert, false, false, false, "FTDADCER"},
      {"another certificate, send", TlsFtp::Data::OtherCert, true, true, false, "FTDADCER"},
      {"plain bytes first", TlsFtp::Data::PlainBefore, true, false, false, "FTDADCER"},
      {"plain bytes first, send", TlsFtp::Data::PlainBefore, true, true, false, "FTDADCER"},
  };
  const std::string bytes = pattern(100000);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TlsRig r;
    r.server.data = c.data;
    r.server.files["dados.bin"] = bytes;
    ASSERT_TRUE(r.secure()) << ::testing::PrintToString(r.ui.events);
    r.st.passive = c.passive;
    writeFile(r.path(c.send ? "envio.bin" : "dados.bin"), c.send ? bytes : "velho");
    if (!c.send) r.ui.keys.push_back('s');  // replace the old copy
    r.ui.keys.push_back('s');               // image mode
    if (c.send) {
      r.dialogs.localFile = r.path("envio.bin");
      r.ui.lines = {""};
      r.transfers.SendFile({});
      // Not a byte of the file reached anyone but the server.
      EXPECT_EQ(r.server.stored("envio.bin"), c.completes ? bytes : "");
      EXPECT_EQ(r.heard("FTFIMENV"), c.completes);
    } else {
      r.ui.lines = {"dados.bin", r.path("dados.bin")};
      r.transfers.ReceiveFile(RemoteName{});
      EXPECT_EQ(readFile(r.path("dados.bin")), c.completes ? bytes : "velho");
      EXPECT_EQ(r.heard("FTFIMREC"), c.completes);
    }
    if (!c.completes) {
      EXPECT_TRUE(r.heard(c.heard)) << ::testing::PrintToString(r.ui.events);
      EXPECT_FALSE(r.heard("FTCOMCAI"));  // the server is still there
    }
  }
}

TEST(Tls, AServerKeptAsSpeakingTlsThatRefusesItNowIsRefusedUnlessToldOtherwise) {
  struct Case {
    const char* name;
    const char* tls;
    bool kept;
    bool goesOn;
    const char* heard;
  };
  const Case cases[] = {
      {"kept, AUTO", "AUTO", true, false, "FTTLSANT"},
      {"not kept, AUTO", "AUTO", false, true, "FTTLSNAO"},
      {"kept, TLS=N", "N", true, true, ""},
      {"kept, required", "S", true, false, "FTTLSEXI"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TlsRig r;
    r.server.refuseAuth = true;
    r.ui.settings["TLS"] = c.tls;
    if (c.kept)
      writeFile(r.path(kTrustFileName),
                r.hostKey() + " " + r.server.certificate().fingerprint() + "\n");
    ASSERT_TRUE(r.connect());
    EXPECT_EQ(r.tls.Secure(), c.goesOn);
    if (*c.heard) {
      EXPECT_TRUE(r.heard(c.heard)) << ::testing::PrintToString(r.ui.events);
    }
    EXPECT_EQ(r.heard("FTTLSANT"), std::string(c.heard) == "FTTLSANT");
    // The warning heard at every connection is said in a few words, and
    // written whole.
    if (std::string(c.heard) == "FTTLSNAO") {
      EXPECT_TRUE(r.ui.has("speak Sem criptografia neste servidor"));
      EXPECT_NE(r.ui.screen.find("a senha e os arquivos"), std::string::npos);
    }
  }
}

TEST(Tls, KeptCertificatesAreFoundWhateverTheCaseAndAFailedKeepIsSaid) {
  {
    SCOPED_TRACE("kept in lower case, host in other letters");
    TlsRig r;
    std::string fp = r.server.certificate().fingerprint();
    for (char& ch : fp) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    writeFile(r.path(kTrustFileName),
              "LocalHost:" + std::to_string(r.server.port()) + " " + fp + "\n");
    ASSERT_TRUE(r.connect("localhost"));
    EXPECT_TRUE(r.tls.Secure());
    EXPECT_FALSE(r.heard("FTCERACE"));  // not asked: known
    // A good connection is written, not said.
    EXPECT_TRUE(r.ui.has("written FTTLSOK"));
    EXPECT_TRUE(r.ui.has("written FTTLSINI"));
    EXPECT_EQ(std::count_if(r.ui.events.begin(), r.ui.events.end(),
                            [](const std::string& e) { return e.rfind("speak ", 0) == 0; }),
              0);
  }
  {
    SCOPED_TRACE("the trust file cannot be written");
    TlsRig r;
    writeFile(r.path("arquivo"), "");
    r.ui.configDir = r.path("arquivo") + "/quiral";
    ASSERT_TRUE(r.secure()) << ::testing::PrintToString(r.ui.events);
    EXPECT_TRUE(r.heard("FTCERTMP"));
    EXPECT_FALSE(r.heard("FTCERMEM"));
    EXPECT_TRUE(r.ui.has("speak " + qr::W("o caminho não é um diretório")));
    EXPECT_TRUE(r.ui.has("written FTTLSOK"));  // accepted for this connection
  }
  {
    SCOPED_TRACE("kept, after F1 said the whole fingerprint");
    TlsRig r;
    r.ui.keys = {0, 59};  // F1
    ASSERT_TRUE(r.secure()) << ::testing::PrintToString(r.ui.events);
    EXPECT_TRUE(r.heard("FTCERMEM"));
    // Said short: why, whose, the end of the fingerprint; written whole.
    const std::string whole = r.server.certificate().fingerprint();
    EXPECT_TRUE(r.ui.has("speak " + qr::W("Certificado não confiável porque é autoassinado")));
    const std::string tail = whole.substr(whole.size() - 8);
    EXPECT_TRUE(r.ui.has("speak " + qr::W("Impressão digital termina em ") + tail[0] + " " +
                         tail[1] + " " + tail[2] + " " + tail[3] + " e " + tail[4] + " " +
                         tail[5] + " " + tail[6] + " " + tail[7]));
    EXPECT_NE(r.ui.screen.find(FingerprintGroups(whole)), std::string::npos);
    const auto& e = r.ui.events;
    EXPECT_EQ(std::count(e.begin(), e.end(), "speak " + SpokenFingerprint(whole)), 1)
        << "only after F1";
    EXPECT_EQ(std::count(e.begin(), e.end(), "announce FTCERACE"), 2) << "asked again after F1";
    std::ifstream in(r.path(kTrustFileName));
    std::string host, fp;
    in >> host >> fp;
    EXPECT_EQ(host, r.hostKey());
    EXPECT_EQ(fp, r.server.certificate().fingerprint());
  }
}
