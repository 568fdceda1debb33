#include "korvex-demo-portals/demo_portal_pages.h"

#include <map>

namespace korvex::pages {

namespace {

using Values = std::map<std::string_view, std::string_view>;

// Puts each value in place of its "{name}" in the template, in one pass, so a value that happens to
// hold braces is never read as a placeholder itself. Values go in verbatim, not HTML-escaped.
std::string fill(std::string_view page, const Values& values) {
    std::string out;
    out.reserve(page.size() + 256);
    while (!page.empty()) {
        const size_t open = page.find('{');
        const size_t close = open == std::string_view::npos ? open : page.find('}', open);
        if (close == std::string_view::npos) break;
        const auto it = values.find(page.substr(open + 1, close - open - 1));
        out += page.substr(0, open);
        if (it == values.end())
            out += page.substr(open, close - open + 1);
        else
            out += it->second;
        page.remove_prefix(close + 1);
    }
    out += page;
    return out;
}

Values accountValues(const DemoAccount& a) {
    return {{"login", a.login},   {"holder", a.holder}, {"balance", a.balance}, {"speed", a.speed},
            {"status", a.status}, {"tariff", a.tariff}, {"traffic", a.traffic}};
}

// Raduga and SatGate run on Windows servers and end their lines with CR LF.
std::string crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// "Status: " up to "<BR>Deposit:", "Deposit: " up to the first ",", "Chosen speed: " up to " Kbps".
constexpr std::string_view kSpectrumSat = R"(<HTML>
<HEAD>
<TITLE>SpectrumSat :: Customer statistics</TITLE>
<META http-equiv="Content-Type" content="text/html; charset=windows-1251">
</HEAD>
<BODY bgcolor="#FFFFFF">
<H3>SpectrumSat customer area</H3>
Login: {login}<BR>
Holder: {holder}<BR>
Tariff: {tariff}<BR>
Status: {status}<BR>Deposit: {balance}, Chosen speed: {speed} Kbps<BR>
Traffic this month: 1834 MB<BR>
<HR>
<FORM method="POST" action="/speed/">
<INPUT type="hidden" name="KEY" value="0">
New speed: <SELECT name="S">
<OPTION value="1">64</OPTION><OPTION value="2">128</OPTION><OPTION value="3">256</OPTION>
<OPTION value="4">512</OPTION><OPTION value="5">1024</OPTION><OPTION value="6">2048</OPTION>
<OPTION value="7">3072</OPTION><OPTION value="8">4096</OPTION><OPTION value="9">5120</OPTION>
</SELECT> <INPUT type="submit" value="Change">
</FORM>
</BODY>
</HTML>
)";

// "подписки :</font>  <b>" (two spaces) up to "</b>"; the cells after "скорость</td>" and after
// "Сменить</a>)</td>", each across a line break.
constexpr std::string_view kRaduga = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
<title>Радуга — личный кабинет</title>
</head>
<body bgcolor="#F0F4FF">
<table width="640" border="0" cellpadding="4">
<tr><td colspan="2"><font size="3">Абонент: {holder} (логин {login})</font></td></tr>
<tr><td colspan="2"><font color="#333399">Баланс подписки :</font>  <b>{balance}</b> руб.</td></tr>
<tr>
  <td>Максимальная скорость</td>
  <td>{speed}</td>
</tr>
<tr>
  <td>Тарифный план (<a href="/tariff/">Сменить</a>)</td>
  <td>{tariff}</td>
</tr>
<tr>
  <td>Состояние</td>
  <td>{status}</td>
</tr>
</table>
<p><a href="/logout/">Выход</a></p>
</body>
</html>
)";

// "Service type: " up to "; Chosen speed:", "Chosen speed: " up to " Kbps", "Deposit rest: " up to " USD".
constexpr std::string_view kSpaceGate = R"(<html>
<head>
<title>{portal} - statistics</title>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
</head>
<body>
<h2>{portal}: statistics for {login}</h2>
<p>Customer: {holder}</p>
<p>Service type: {tariff}; Chosen speed: {speed} Kbps</p>
<p>Deposit rest: {balance} USD</p>
<p>Account state: {status}</p>
<p><a href="/speed/">Change speed</a> | <a href="/stats/">Refresh</a></p>
</body>
</html>
)";

// "Ваш тариф: " up to "<br>", white space and "Ваш баланс: "; the balance up to " USD<br>"; the speed,
// digits and dots only, right before "<br><div id=".
constexpr std::string_view kPlanetSky = R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>PlanetSky — личный кабинет</title>
</head>
<body>
<div id="header">PlanetSky — спутниковый интернет</div>
<div id="info">
Абонент: {holder}<br>
Логин: {login}<br>
Состояние: {status}<br>
Ваш тариф: {tariff}<br>
    Ваш баланс: {balance} USD<br>
Выбранная скорость, Kbps: {speed}<br><div id="speedform">
<form method="post" action="/speed/">
<input type="hidden" name="KEY" value="0">
<select name="S"><option value="1">64</option><option value="2">128</option><option value="3">256</option>
<option value="4">512</option><option value="5">1024</option><option value="6">2048</option>
<option value="7">3072</option><option value="8">4096</option><option value="9">5120</option></select>
<input type="submit" value="Сменить скорость">
</form>
</div>
</div>
</body>
</html>
)";

// "<center><b> Traffic Rest: " up to " Kb  Money Rest:" (two spaces), then the money up to
// " </b></center>".
constexpr std::string_view kGlobax = R"(<html>
<head><title>Globax - account statistics</title></head>
<body>
<p>Account: {login} ({holder})</p>
<p>Period: 01.01.2007 - 01.01.2007, detail: day</p>
<center><b> Traffic Rest: {traffic} Kb  Money Rest: {balance} </b></center>
<table border="1">
<tr><th>Date</th><th>Incoming, Kb</th><th>Outgoing, Kb</th></tr>
<tr><td>01.01.2007</td><td>0</td><td>0</td></tr>
</table>
<p><a href="/index.php?action=logout">Logout</a></p>
</body>
</html>
)";

constexpr std::string_view kGlobaxLogin = R"(<html>
<head><title>Globax - login</title></head>
<body>
{refused}<form method="post" action="/index.php?action=go">
Login: <input name="login"><br>
Password: <input type="password" name="password"><br>
From <input name="D1" value="01">.<input name="M1" value="01">.<input name="Y1" value="2007">
to <input name="D2" value="01">.<input name="M2" value="01">.<input name="Y2" value="2007">
<select name="Detail"><option>day</option><option>month</option></select>
<input type="submit" value="Enter">
</form>
</body>
</html>
)";

// The balance cell: at least two white-space characters between every label, tag and value, the value
// beginning with a digit or a dot. "Plan:</td><td>" up to " Kbps " (a space on both sides).
constexpr std::string_view kSatGate = R"(<html>
<head>
<title>SatGate :: Account</title>
</head>
<body>
<h3>Welcome, {holder}</h3>
<table class="account">
	<tr>
		<td class="label">Login:</td><td>{login}</td>
	</tr>
	<tr>
		<td class="label">Current ballance:
		</td>
		<td>
			{balance}
		</td>
		<td>
			USD
		</td>
	</tr>
	<tr><td>Plan:</td><td>{speed} Kbps / {tariff}</td></tr>
	<tr><td>State:</td><td>{status}</td></tr>
</table>
<p><a href="/index.php?logout=1&amp;locale=en_US">Log out</a></p>
</body>
</html>
)";

constexpr std::string_view kSatGateLogin = R"(<html>
<head>
<title>SatGate :: Login</title>
</head>
<body>
{refused}<form method="post" action="/index.php?logout=1&amp;locale=en_US">
<table>
	<tr><td>Login</td><td><input name="login"></td></tr>
	<tr><td>Password</td><td><input type="password" name="password"></td></tr>
</table>
<input type="submit" value="Sign in">
</form>
</body>
</html>
)";

// The cells after "Баланс:</td>" (up to " р" and one more character) and "Тариф:</td>" (up to
// "</td>"), each across a line break.
constexpr std::string_view kSkyFi = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
<title>SKY-FI — личный кабинет</title>
</head>
<body>
<h2>Личный кабинет</h2>
<table width="500" border="0">
<tr>
  <td width="40%">Абонент:</td>
  <td width="60%">{holder}</td>
</tr>
<tr>
  <td width="40%">Логин:</td>
  <td width="60%">{login}</td>
</tr>
<tr>
  <td width="40%">Баланс:</td>
  <td width="60%">{balance} р.</td>
</tr>
<tr>
  <td width="40%">Тариф:</td>
  <td width="60%">{tariff}</td>
</tr>
<tr>
  <td width="40%">Скорость:</td>
  <td width="60%">{speed} Кбит/с</td>
</tr>
<tr>
  <td width="40%">Состояние:</td>
  <td width="60%">{status}</td>
</tr>
</table>
<p><a href="/control/service.php">Управление услугой</a></p>
</body>
</html>
)";

constexpr std::string_view kSkyFiLogin = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
<title>SKY-FI — вход</title>
</head>
<body>
{refused}<form method="post" action="/authorize.php">
Имя пользователя: <input name="user_name"><br>
Пароль: <input type="password" name="user_pass"><br>
<input type="hidden" name="submit" value="1">
<input type="image" src="/img/enter.gif">
</form>
</body>
</html>
)";

constexpr std::string_view kSkyFiService = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
<title>SKY-FI — управление услугой</title>
</head>
<body>
<h2>Управление услугой</h2>
{note}<p>Абонент {login}, текущая скорость {speed} Кбит/с</p>
<form method="post" action="/control/service.php">
<select name="sp1">
<option value="2">256 Кбит/с</option><option value="3">512 Кбит/с</option>
<option value="4">1024 Кбит/с</option><option value="5">2048 Кбит/с</option>
</select>
<input type="submit" name="changesp" value="Изменить">
</form>
</body>
</html>
)";

// "Актуальный Баланс, руб.:</td><td>" up to "</td></tr>" and a line break; "Тарифный план:</td><td>" up
// to "</td></tr>".
constexpr std::string_view kStv = R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>СТВ — спутниковый интернет ({gate})</title>
</head>
<body>
<h1>Личный кабинет абонента</h1>
<table class="info">
<tr><td>Абонент:</td><td>{holder}</td></tr>
<tr><td>Договор:</td><td>{login}</td></tr>
<tr><td>Актуальный Баланс, руб.:</td><td>{balance}</td></tr>
<tr><td>Тарифный план:</td><td>{tariff}</td></tr>
<tr><td>Статус:</td><td>{status}</td></tr>
</table>
<form method="post" action="gate.php?mod=login&amp;mode=off"><input type="submit" value="Выход"></form>
</body>
</html>
)";

constexpr std::string_view kStvLogin = R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>СТВ — вход ({gate})</title>
</head>
<body>
{refused}{loggedOut}<form method="post" action="gate.php">
<input type="hidden" name="mod" value="login">
Договор: <input name="p1"><br>
Пароль: <input type="password" name="p2"><br>
<input type="hidden" name="transponder" value="2">
<input type="submit" value="Войти">
</form>
</body>
</html>
)";

constexpr std::string_view kSpeedForm = R"(<html>
<head><title>{portal} - speed</title></head>
<body>
<p>Current speed: {speed}</p>
<form method="post" action="/speed/">
<input name="S"> <input type="submit" value="Change">
</form>
</body>
</html>
)";

constexpr std::string_view kSpeedAnswer = R"(<html>
<head><title>{portal} - speed</title></head>
<body>
<p>{result} {speed}</p>
<p><a href="/">Back</a></p>
</body>
</html>
)";

constexpr std::string_view kUnauthorized = R"(<html>
<head><title>401 Authorization Required</title></head>
<body>
<h1>Доступ запрещён</h1>
<p>{portal}: неверный логин или пароль.</p>
<hr>
<address>Apache Server at 127.0.0.1</address>
</body>
</html>
)";

constexpr std::string_view kNotFound = R"(<html>
<head><title>404 Not Found</title></head>
<body>
<h1>Not Found</h1>
<p>The requested URL {target} was not found on this server.</p>
</body>
</html>
)";

constexpr std::string_view kServerError = R"(<html>
<head><title>500 Internal Server Error</title></head>
<body>
<h1>Internal Server Error</h1>
<p>The server encountered an internal error and was unable to complete your request.</p>
</body>
</html>
)";

constexpr std::string_view kServiceUnavailable = R"(<html>
<head><title>503 Service Unavailable</title></head>
<body>
<h1>Service Unavailable</h1>
<p>The server is shutting down.</p>
</body>
</html>
)";

constexpr std::string_view kPublisherHome = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
<title>Korvex — учёт спутниковых счетов</title>
</head>
<body>
<h1>Korvex</h1>
<p>Программа для проверки балансов спутникового интернета.</p>
<ul>
<li><a href="{download}">Новая версия</a></li>
<li><a href="/pay/">Оплата услуг</a></li>
<li><a href="/news.txt">Новости</a></li>
</ul>
</body>
</html>
)";

constexpr std::string_view kPublisherPay = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
<title>Оплата услуг</title>
</head>
<body>
<h1>Оплата услуг</h1>
<p>Пополнить счёт спутникового интернета можно картой или через терминал.</p>
</body>
</html>
)";

constexpr std::string_view kPublisherDownload = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
<title>Korvex — загрузка</title>
</head>
<body>
<h1>Korvex 3.0</h1>
<p>Последняя версия программы: 3.0.</p>
</body>
</html>
)";

constexpr std::string_view kPublisherNews = R"(Korvex 3.0: новости
12.03.2010 SpaceGate переносит личный кабинет на новый адрес.
01.03.2010 Тарифы SKY-FI «Стандарт» и «Премиум» подешевели на 10%.
15.02.2010 Добавлена проверка баланса STV (второй транспондер).
)";

}  // namespace

const std::string_view kPublisherDownloadPath =
    "/component/option,com_remository/Itemid,65/func,fileinfo/id,72/";

std::string spectrumSat(const DemoAccount& a) {
    return fill(kSpectrumSat, accountValues(a));
}
std::string raduga(const DemoAccount& a) {
    return crlf(fill(kRaduga, accountValues(a)));
}
std::string planetSky(const DemoAccount& a) {
    return fill(kPlanetSky, accountValues(a));
}
std::string globax(const DemoAccount& a) {
    return fill(kGlobax, accountValues(a));
}
std::string satGate(const DemoAccount& a) {
    return crlf(fill(kSatGate, accountValues(a)));
}
std::string skyFi(const DemoAccount& a) {
    return fill(kSkyFi, accountValues(a));
}

std::string spaceGate(const DemoAccount& a, std::string_view portalTitle) {
    Values values = accountValues(a);
    values["portal"] = portalTitle;
    return fill(kSpaceGate, values);
}

std::string stv(const DemoAccount& a, std::string_view gate) {
    Values values = accountValues(a);
    values["gate"] = gate;
    return fill(kStv, values);
}

std::string globaxLogin(bool refused) {
    return fill(kGlobaxLogin,
                {{"refused", refused ? "<p><font color=\"red\">Wrong login or password.</font></p>\n" : ""}});
}

std::string satGateLogin(bool refused) {
    return crlf(fill(kSatGateLogin,
                     {{"refused", refused ? "<p class=\"error\">Invalid login or password</p>\n" : ""}}));
}

std::string skyFiLogin(bool refused) {
    return fill(
        kSkyFiLogin,
        {{"refused", refused ? "<p style=\"color:red\">Неверное имя пользователя или пароль.</p>\n" : ""}});
}

std::string stvLogin(std::string_view gate, bool refused, bool loggedOut) {
    return fill(kStvLogin,
                {{"gate", gate},
                 {"refused", refused ? "<p class=\"error\">Неверный номер договора или пароль.</p>\n" : ""},
                 {"loggedOut", loggedOut ? "<p>Сеанс завершён.</p>\n" : ""}});
}

std::string skyFiService(const DemoAccount& a, std::string_view note) {
    Values values = accountValues(a);
    const std::string paragraph = note.empty() ? "" : "<p><b>" + std::string(note) + "</b></p>\n";
    values["note"] = paragraph;
    return fill(kSkyFiService, values);
}

std::string speedForm(std::string_view portalTitle, std::string_view currentSpeed) {
    return fill(kSpeedForm, {{"portal", portalTitle}, {"speed", currentSpeed}});
}

std::string speedAnswer(std::string_view portalTitle, bool accepted, std::string_view speed) {
    return fill(kSpeedAnswer, {{"portal", portalTitle},
                               {"result", accepted ? "The speed has been changed to"
                                                   : "This speed cannot be chosen. Current speed:"},
                               {"speed", speed}});
}

std::string unauthorized(std::string_view portalTitle) {
    return fill(kUnauthorized, {{"portal", portalTitle}});
}
std::string notFound(std::string_view target) {
    return fill(kNotFound, {{"target", target}});
}
std::string serverError() {
    return std::string(kServerError);
}
std::string serviceUnavailable() {
    return std::string(kServiceUnavailable);
}

std::string publisherHome() {
    return fill(kPublisherHome, {{"download", kPublisherDownloadPath}});
}
std::string publisherPay() {
    return std::string(kPublisherPay);
}
std::string publisherDownload() {
    return std::string(kPublisherDownload);
}
std::string publisherNews() {
    return std::string(kPublisherNews);
}
std::string publisherUpdateInfo(const std::string& publisherBase) {
    return "#version=3.2.0.2\r\n"
           "#date=12/07/2026\r\n"
           "#url=" + publisherBase + std::string(kUpdateFilePath) + "\r\n"
           "#message={Демонстрационный выпуск 3.2.0.2: обновление с подставного сайта издателя.}\r\n";
}

}  // namespace korvex::pages
