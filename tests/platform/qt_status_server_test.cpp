// The status server of a real-time server with a calculator on the virtual radio, read by what an
// operator reads it with: the metrics by the Prometheus client's own parser, the page by a browser.
#include "platform/qt/qt_status_server.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "platform/qt/qt_world.h"
#include "platform/virtual/virtual_calculator_station.h"
#include "qt_test_support.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

// One line per family: its name, its type and the label sets of the stations' samples.
constexpr char ParseMetrics[] = R"(
import json, sys
from prometheus_client.parser import text_string_to_metric_families
for f in text_string_to_metric_families(sys.stdin.read()):
    print(f.name, f.type, *sorted({json.dumps(s.labels, sort_keys=True) for s in f.samples
                                   if "name" in s.labels}))
)";

TEST(QtStatusServerTest, TheMetricsParseAndTheBrowserShowsTheEscapedName) {
  testing::TestApp();
  const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
  if (QProcess::execute(python, {"-c", "import prometheus_client.parser"}) != 0)
    GTEST_SKIP() << "python3-prometheus-client is not installed";
  const QString chromium = QStandardPaths::findExecutable("chromium");
  if (chromium.isEmpty()) GTEST_SKIP() << "chromium is not installed";
  testing::TempDir dir, profile;
  testing::RecordingUi ui;
  QtWorld world;
  const std::unique_ptr<Server> server = world.Build(ui, dir.path());
  ServerSettings settings = server->Settings();
  settings.RegisterWait = settings.ReceiveWait = 1000;  // late answers on a loaded machine
  server->ApplySettings(settings);
  CalculatorStation calculator(world.Port().Radio(), server->Settings(), "<b>x</b>");
  calculator.SetListenBeforeTalk(true);
  calculator.engine().SetUserName("<b>x</b>");
  QtStatusServer status(*server);
  std::string error;
  ASSERT_TRUE(status.Listen("127.0.0.1:0", error)) << error;
  const QString url = QString::fromStdString(status.Url());

  // Each request on a connection of its own; the answer is whole when the server closes it.
  // The last one is larger than a request may be.
  const std::vector<QByteArray> requests{"GET /metrics",  "GET /",          "HEAD /",
                                         "POST /metrics", "GET /metrics/x", "GET /"};
  const QByteArray filler = "X: " + QByteArray(QtStatusServer::MaxRequestBytes, 'a') + "\r\n";
  std::vector<QByteArray> answers(requests.size());
  std::vector<std::unique_ptr<QTcpSocket>> sockets;
  std::size_t closed = 0;
  QProcess browser;
  QObject::connect(&browser, &QProcess::finished, [&] { server->RequestStop(); });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    CalculatorEngine& e = calculator.engine();
    if (!e.Registered() && !e.ConnectRequested()) e.Connect();  // a request lost: again
    if (!sockets.empty() || server->Stations().Count() != 1 || server->Stats().cycles < 4) return;
    for (std::size_t i = 0; i < requests.size(); ++i) {
      QTcpSocket* s = sockets.emplace_back(std::make_unique<QTcpSocket>()).get();
      const QByteArray extra = i + 1 == requests.size() ? filler : "";
      QObject::connect(s, &QTcpSocket::connected, [s, r = requests[i] + " HTTP/1.1\r\n" + extra] {
        s->write(r + "Connection: close\r\n\r\n");
      });
      QObject::connect(s, &QTcpSocket::readyRead, [&, s, i] { answers[i] += s->readAll(); });
      QObject::connect(s, &QTcpSocket::disconnected, [&] {
        if (++closed < requests.size()) return;
        browser.start(
            chromium,
            {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--no-proxy-server", "--user-data-dir=" + QString::fromStdString(profile.path()),
             "--dump-dom", url});
      });
      s->connectToHost(QHostAddress::LocalHost, QUrl(url).port());
    }
  });
  poll.start(5);
  QTimer::singleShot(90'000, [&] { server->RequestStop(); });
  ASSERT_TRUE(server->Start());
  browser.waitForFinished(5000);
  ASSERT_EQ(closed, requests.size()) << "the calculator never registered, or a request hung";

  const struct {
    QByteArray status, type;
    bool body;
  } expected[] = {{"200", "text/plain; version=0.0.4; charset=utf-8", true},
                  {"200", "text/html; charset=utf-8", true},
                  {"200", "text/html; charset=utf-8", false},
                  {"405", "text/plain; charset=utf-8", true},
                  {"404", "text/plain; charset=utf-8", true},
                  {"413", "", false}};
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const QByteArray& a = answers[i];
    const QByteArray body = a.mid(a.indexOf("\r\n\r\n") + 4);
    EXPECT_TRUE(a.startsWith("HTTP/1.1 " + expected[i].status + " ")) << a.left(200).data();
    const QByteArray type = "\r\nContent-Type: " + expected[i].type + "\r\n";
    EXPECT_TRUE(expected[i].type.isEmpty() || a.contains(type)) << a.left(200).data();
    EXPECT_EQ(!body.isEmpty(), expected[i].body) << requests[i].data();
    EXPECT_EQ(a.contains("\r\nAllow: GET, HEAD\r\n"), expected[i].status == "405");
  }

  // The metrics, as Prometheus' client library reads them: counters named without _total.
  QProcess parser;
  parser.start(python, {"-c", ParseMetrics});
  parser.write(answers[0].mid(answers[0].indexOf("\r\n\r\n") + 4));
  parser.closeWriteChannel();
  ASSERT_TRUE(parser.waitForFinished(30'000));
  ASSERT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString();
  QByteArray families =
      "velora_stations gauge\nvelora_cycles counter\n"
      "velora_cycle_duration_seconds histogram\nvelora_frames_dropped counter\n"
      "velora_registrations counter\nvelora_removals counter\n"
      "velora_messages counter\nvelora_mails counter\nvelora_saves counter\n";
  for (const char* family : {"frames_sent counter", "frames_received counter", "resends counter",
                             "silent_turns counter", "last_heard_seconds gauge"}) {
    families += "velora_station_" + QByteArray(family) +
                " {\"address\": \"4\", \"name\": \"<b>x</b>\"}\n";  // as the calculator sent it
  }
  EXPECT_EQ(parser.readAllStandardOutput().toStdString(), families.toStdString());

  // The page, as the browser built it: the name is text, not markup.
  const QByteArray dom = browser.readAllStandardOutput();
  EXPECT_TRUE(dom.contains("<td class=\"name\">&lt;b&gt;x&lt;/b&gt;</td>")) << dom.data();
  EXPECT_FALSE(dom.contains("<b>")) << "no element from the name";
  EXPECT_TRUE(dom.contains("Angemeldete TIs:</th><td>1</td>"));
  EXPECT_TRUE(dom.contains("<polyline"));
}

TEST(QtStatusServerTest, ARequestDrippedInIsClosedAtItsDeadline) {
  testing::TestApp();
  testing::TempDir dir;
  testing::RecordingUi ui;
  QtWorld world;
  const std::unique_ptr<Server> server = world.Build(ui, dir.path());
  QtStatusServer status(*server, 300);
  std::string error;
  ASSERT_TRUE(status.Listen("127.0.0.1:0", error)) << error;
  QTcpSocket client;
  client.connectToHost(QHostAddress::LocalHost, QUrl(QString::fromStdString(status.Url())).port());
  ASSERT_TRUE(client.waitForConnected(2000));
  client.write("GET / HTTP/1.1\r\n");
  // A header line every 50 ms: each piece well within the deadline, the request never whole.
  QTimer drip;
  QObject::connect(&drip, &QTimer::timeout, [&] { client.write("X: y\r\n"); });
  drip.start(50);
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }, 3000));
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_TRUE(client.readAll().isEmpty());
}

TEST(QtStatusServerTest, ListensOnlyWhereAnAddressAndPortAreWritten) {
  std::string error;
  for (const auto& [text, bound] : {std::pair{"127.0.0.1:8080", "127.0.0.1:8080"},
                                    {" 0.0.0.0:0 ", "0.0.0.0:0"},
                                    {"[::1]:9100", "::1:9100"}}) {
    const std::optional<ListenAddress> a = ParseListenAddress(text, error);
    ASSERT_TRUE(a) << text << ": " << error;
    EXPECT_EQ(a->host.toString() + ":" + QString::number(a->port), bound) << text;
  }
  for (const char* text : {"", "127.0.0.1", "127.0.0.1:", "localhost:80", "127.1:80", "::1:80",
                           "[127.0.0.1]:80", "127.0.0.1:65536", "127.0.0.1:+80", "127.0.0.1:8o"}) {
    EXPECT_FALSE(ParseListenAddress(text, error)) << text;
    EXPECT_NE(error.find("not ADDRESS:PORT"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace velora
