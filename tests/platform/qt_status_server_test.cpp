// The status server of a real-time server with a calculator on the virtual radio, read by what an
// operator reads it with: the metrics by the Prometheus client's own parser, the page by a browser.
#include "platform/qt/qt_status_server.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>
#include <map>

#include "platform/qt/qt_world.h"
#include "platform/virtual/virtual_calculator_station.h"
#include "qt_test_support.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

// One JSON line per family: name, type and the samples as [name, labels, value].
constexpr char ParseMetrics[] = R"(
import json, sys
from prometheus_client.parser import text_string_to_metric_families
for f in text_string_to_metric_families(sys.stdin.read()):
    print(json.dumps({"name": f.name, "type": f.type,
                      "samples": [[s.name, s.labels, s.value] for s in f.samples]}))
)";

QString PythonWithPrometheusClient() {
  const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
  if (python.isEmpty()) return {};
  QProcess check;
  check.start(python, {"-c", "import prometheus_client.parser"});
  return check.waitForFinished(20'000) && check.exitCode() == 0 ? python : QString();
}

struct Answer {
  int status = 0;
  QByteArray type, allow, body;
};

TEST(QtStatusServerTest, TheMetricsParseAndTheBrowserShowsTheEscapedName) {
  testing::TestApp();
  const QString python = PythonWithPrometheusClient();
  if (python.isEmpty()) GTEST_SKIP() << "python3-prometheus-client is not installed";
  const QString chromium = QStandardPaths::findExecutable("chromium");
  if (chromium.isEmpty()) GTEST_SKIP() << "chromium is not installed";

  testing::TempDir dir;
  testing::RecordingUi ui;
  QtWorld world;
  const std::unique_ptr<Server> server = world.Build(ui, dir.path());
  ServerSettings settings = server->Settings();
  // Answers late on a loaded machine are still taken.
  settings.RegisterWait = 1000;
  settings.ReceiveWait = 1000;
  server->ApplySettings(settings);
  CalculatorStation calculator(world.Port().Radio(), server->Settings(), "<b>x</b>");
  calculator.SetListenBeforeTalk(true);
  calculator.engine().SetUserName("<b>x</b>");

  QtStatusServer status(*server);
  std::string error;
  ASSERT_TRUE(status.Listen("127.0.0.1:0", error)) << error;
  const QString url = QString::fromStdString(status.Url());
  ASSERT_TRUE(url.startsWith("http://127.0.0.1:")) << url.toStdString();
  ASSERT_NE(url, "http://127.0.0.1:0/") << "the port bound";

  QNetworkAccessManager net;
  net.setProxy(QNetworkProxy::NoProxy);
  std::map<QByteArray, Answer> answers;  // by method and path
  QByteArray oversized;                  // what a request above the limit got
  QByteArray dom;
  QProcess browser;
  testing::TempDir profile;
  int pending = 0;
  const auto browse = [&] {
    browser.setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(profile.path()));
    browser.setProcessEnvironment(env);
    QObject::connect(&browser, &QProcess::finished, [&] {
      dom = browser.readAllStandardOutput();
      server->RequestStop();
    });
    browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                             "--no-first-run", "--disable-background-networking",
                             "--disable-component-update", "--disable-sync", "--no-proxy-server",
                             "--user-data-dir=" + QString::fromStdString(profile.File("chromium")),
                             "--dump-dom", url});
  };
  const auto done = [&] {
    if (--pending == 0) browse();
  };
  const auto ask = [&](const QByteArray& method, const QString& path) {
    ++pending;
    QNetworkRequest request(QUrl(url + path.mid(1)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply* reply = method == "GET"    ? net.get(request)
                           : method == "HEAD" ? net.head(request)
                                              : net.post(request, QByteArray("x=1"));
    QObject::connect(
        reply, &QNetworkReply::finished, [&, reply, key = method + " " + path.toUtf8()] {
          answers[key] = {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                          reply->rawHeader("Content-Type"), reply->rawHeader("Allow"),
                          reply->readAll()};
          reply->deleteLater();
          done();
        });
  };
  QTcpSocket flood;
  const auto askTooMuch = [&] {
    ++pending;
    QObject::connect(&flood, &QTcpSocket::connected, [&] {
      flood.write("GET / HTTP/1.1\r\nHost: x\r\nX-Filler: " +
                  QByteArray(QtStatusServer::MaxRequestBytes, 'a') + "\r\n\r\n");
    });
    QObject::connect(&flood, &QTcpSocket::readyRead, [&] { oversized += flood.readAll(); });
    QObject::connect(&flood, &QTcpSocket::disconnected, done);
    flood.connectToHost(QHostAddress::LocalHost, QUrl(url).port());
  };

  bool asked = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    CalculatorEngine& e = calculator.engine();
    // Asked again while a request lost on a loaded machine goes unanswered.
    if (!e.Registered() && !e.ConnectRequested()) e.Connect();
    if (asked || server->Stations().Count() != 1 || server->Stats().cycles < 4) return;
    asked = true;
    for (const char* path : {"/", "/metrics"}) {
      ask("GET", path);
      ask("HEAD", path);
      ask("POST", path);
    }
    ask("GET", "/metrics/x");
    askTooMuch();
  });
  poll.start(5);
  QTimer::singleShot(90'000, [&] { server->RequestStop(); });
  ASSERT_TRUE(server->Start());
  if (browser.state() != QProcess::NotRunning) {
    browser.kill();
    browser.waitForFinished(5000);
  }
  ASSERT_TRUE(asked) << "the calculator never registered";

  const QByteArray metricsType = "text/plain; version=0.0.4; charset=utf-8";
  const QByteArray pageType = "text/html; charset=utf-8";
  const struct {
    QByteArray key;
    int status;
    QByteArray type;
    bool body;
  } expected[] = {{"GET /", 200, pageType, true},
                  {"HEAD /", 200, pageType, false},
                  {"GET /metrics", 200, metricsType, true},
                  {"HEAD /metrics", 200, metricsType, false},
                  {"POST /", 405, "text/plain; charset=utf-8", true},
                  {"POST /metrics", 405, "text/plain; charset=utf-8", true},
                  {"GET /metrics/x", 404, "text/plain; charset=utf-8", true}};
  for (const auto& e : expected) {
    const Answer& a = answers[e.key];
    EXPECT_EQ(a.status, e.status) << e.key.toStdString();
    EXPECT_EQ(a.type, e.type) << e.key.toStdString();
    EXPECT_EQ(!a.body.isEmpty(), e.body) << e.key.toStdString();
    EXPECT_EQ(a.allow, e.status == 405 ? "GET, HEAD" : "") << e.key.toStdString();
  }
  EXPECT_TRUE(oversized.startsWith("HTTP/1.1 413 ")) << oversized.toStdString();

  // The metrics, as Prometheus' client library reads them.
  QProcess parser;
  parser.start(python, {"-c", ParseMetrics});
  parser.write(answers["GET /metrics"].body);
  parser.closeWriteChannel();
  ASSERT_TRUE(parser.waitForFinished(30'000));
  ASSERT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString();
  std::map<QString, QJsonObject> families;
  for (const QByteArray& line : parser.readAllStandardOutput().split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonObject family = QJsonDocument::fromJson(line).object();
    families[family["name"].toString()] = family;
  }
  // Counters are named without their _total by the parser.
  const std::pair<const char*, const char*> kinds[] = {
      {"velora_stations", "gauge"},
      {"velora_cycles", "counter"},
      {"velora_cycle_duration_seconds", "histogram"},
      {"velora_frames_dropped", "counter"},
      {"velora_registrations", "counter"},
      {"velora_removals", "counter"},
      {"velora_messages", "counter"},
      {"velora_mails", "counter"},
      {"velora_saves", "counter"},
      {"velora_station_frames_sent", "counter"},
      {"velora_station_frames_received", "counter"},
      {"velora_station_resends", "counter"},
      {"velora_station_silent_turns", "counter"},
      {"velora_station_last_heard_seconds", "gauge"}};
  for (const auto& [name, type] : kinds)
    EXPECT_EQ(families[name]["type"].toString(), type) << name;
  const QJsonArray sent = families["velora_station_frames_sent"]["samples"].toArray();
  ASSERT_EQ(sent.size(), 1);
  const QJsonObject labels = sent[0].toArray()[1].toObject();
  EXPECT_EQ(labels["name"].toString(), "<b>x</b>") << "the name as the calculator sent it";
  EXPECT_EQ(labels["address"].toString(), "4");
  EXPECT_GT(sent[0].toArray()[2].toDouble(), 0);
  // The buckets count up to all cycles.
  double previous = 0;
  const QJsonArray histogram = families["velora_cycle_duration_seconds"]["samples"].toArray();
  for (const QJsonValue& sample : histogram) {
    const QJsonArray s = sample.toArray();
    if (s[0].toString() != "velora_cycle_duration_seconds_bucket") continue;
    EXPECT_GE(s[2].toDouble(), previous) << s[1].toObject()["le"].toString().toStdString();
    previous = s[2].toDouble();
  }
  EXPECT_GE(previous, 3);

  // The page, as the browser built it: the name is text, not markup.
  ASSERT_FALSE(dom.isEmpty()) << "the browser showed nothing";
  EXPECT_TRUE(dom.contains("<td class=\"name\">&lt;b&gt;x&lt;/b&gt;</td>")) << dom.toStdString();
  EXPECT_FALSE(dom.contains("<b>")) << "no element from the name";
  EXPECT_TRUE(dom.contains("Angemeldete TIs:</th><td>1</td>"));
  EXPECT_TRUE(dom.contains("<polyline"));
}

TEST(QtStatusServerTest, ListensOnlyWhereAnAddressAndPortAreWritten) {
  struct Case {
    const char* text;
    const char* host;  // null: refused
    quint16 port;
  };
  const Case cases[] = {{"127.0.0.1:8080", "127.0.0.1", 8080},
                        {" 0.0.0.0:0 ", "0.0.0.0", 0},
                        {"[::1]:9100", "::1", 9100},
                        {"", nullptr, 0},
                        {"127.0.0.1", nullptr, 0},
                        {"127.0.0.1:", nullptr, 0},
                        {"localhost:80", nullptr, 0},
                        {"127.1:80", nullptr, 0},
                        {"::1:80", nullptr, 0},
                        {"[127.0.0.1]:80", nullptr, 0},
                        {"127.0.0.1:65536", nullptr, 0},
                        {"127.0.0.1:+80", nullptr, 0},
                        {"127.0.0.1:8o", nullptr, 0}};
  for (const Case& c : cases) {
    std::string error;
    const std::optional<ListenAddress> parsed = ParseListenAddress(c.text, error);
    ASSERT_EQ(parsed.has_value(), c.host != nullptr) << c.text << ": " << error;
    EXPECT_EQ(error.empty(), c.host != nullptr) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, QHostAddress(c.host)) << c.text;
    EXPECT_EQ(parsed->port, c.port) << c.text;
  }
}

}  // namespace
}  // namespace velora
