#include "demo_portal_pages.h"

namespace korvex::pages {

namespace {

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

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const auto p : parts) out += p;
    return out;
}

}  // namespace

const std::string_view kPublisherDownloadPath = "/component/option,com_remository/Itemid,65/func,fileinfo/id,72/";

std::string spectrumSat(const DemoAccount& a) {
    // "Status: " up to "<BR>Deposit:", "Deposit: " up to the first ",", "Chosen speed: " up to " Kbps".
    return cat({
        "<HTML>\n<HEAD>\n<TITLE>SpectrumSat :: Customer statistics</TITLE>\n"
        "<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n</HEAD>\n"
        "<BODY bgcolor=\"#FFFFFF\">\n<H3>SpectrumSat customer area</H3>\n"
        "Login: ", a.login, "<BR>\nHolder: ", a.holder, "<BR>\nTariff: ", a.tariff, "<BR>\n"
        "Status: ", a.status, "<BR>Deposit: ", a.balance, ", Chosen speed: ", a.speed, " Kbps<BR>\n"
        "Traffic this month: 1834 MB<BR>\n<HR>\n"
        "<FORM method=\"POST\" action=\"/speed/\">\n<INPUT type=\"hidden\" name=\"KEY\" value=\"0\">\n"
        "New speed: <SELECT name=\"S\">\n"
        "<OPTION value=\"1\">64</OPTION><OPTION value=\"2\">128</OPTION><OPTION value=\"3\">256</OPTION>\n"
        "<OPTION value=\"4\">512</OPTION><OPTION value=\"5\">1024</OPTION><OPTION value=\"6\">2048</OPTION>\n"
        "<OPTION value=\"7\">3072</OPTION><OPTION value=\"8\">4096</OPTION><OPTION value=\"9\">5120</OPTION>\n"
        "</SELECT> <INPUT type=\"submit\" value=\"Change\">\n</FORM>\n</BODY>\n</HTML>\n",
    });
}

std::string raduga(const DemoAccount& a) {
    // "подписки :</font>  <b>" (two spaces) up to "</b>"; the cells after "скорость</td>" and after
    // "Сменить</a>)</td>", each across a line break.
    return crlf(cat({
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
        "<title>Радуга — личный кабинет</title>\n</head>\n<body bgcolor=\"#F0F4FF\">\n"
        "<table width=\"640\" border=\"0\" cellpadding=\"4\">\n"
        "<tr><td colspan=\"2\"><font size=\"3\">Абонент: ", a.holder, " (логин ", a.login, ")</font></td></tr>\n"
        "<tr><td colspan=\"2\"><font color=\"#333399\">Баланс подписки :</font>  <b>", a.balance,
        "</b> руб.</td></tr>\n"
        "<tr>\n  <td>Максимальная скорость</td>\n  <td>", a.speed, "</td>\n</tr>\n"
        "<tr>\n  <td>Тарифный план (<a href=\"/tariff/\">Сменить</a>)</td>\n  <td>", a.tariff, "</td>\n</tr>\n"
        "<tr>\n  <td>Состояние</td>\n  <td>", a.status, "</td>\n</tr>\n"
        "</table>\n<p><a href=\"/logout/\">Выход</a></p>\n</body>\n</html>\n",
    }));
}

std::string spaceGate(const DemoAccount& a, std::string_view portalTitle) {
    // "Service type: " up to "; Chosen speed:", "Chosen speed: " up to " Kbps", "Deposit rest: " up to " USD".
    return cat({
        "<html>\n<head>\n<title>", portalTitle, " - statistics</title>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n</head>\n<body>\n"
        "<h2>", portalTitle, ": statistics for ", a.login, "</h2>\n"
        "<p>Customer: ", a.holder, "</p>\n"
        "<p>Service type: ", a.tariff, "; Chosen speed: ", a.speed, " Kbps</p>\n"
        "<p>Deposit rest: ", a.balance, " USD</p>\n"
        "<p>Account state: ", a.status, "</p>\n"
        "<p><a href=\"/speed/\">Change speed</a> | <a href=\"/stats/\">Refresh</a></p>\n</body>\n</html>\n",
    });
}

std::string planetSky(const DemoAccount& a) {
    // "Ваш тариф: " up to "<br>", white space, "Ваш баланс: "; the balance up to " USD<br>"; the speed,
    // digits and dots only, right before "<br><div id=".
    return cat({
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>PlanetSky — личный кабинет</title>\n"
        "</head>\n<body>\n<div id=\"header\">PlanetSky — спутниковый интернет</div>\n<div id=\"info\">\n"
        "Абонент: ", a.holder, "<br>\nЛогин: ", a.login, "<br>\nСостояние: ", a.status, "<br>\n"
        "Ваш тариф: ", a.tariff, "<br>\n    Ваш баланс: ", a.balance, " USD<br>\n"
        "Выбранная скорость, Kbps: ", a.speed, "<br><div id=\"speedform\">\n"
        "<form method=\"post\" action=\"/speed/\">\n<input type=\"hidden\" name=\"KEY\" value=\"0\">\n"
        "<select name=\"S\"><option value=\"1\">64</option><option value=\"2\">128</option>"
        "<option value=\"3\">256</option><option value=\"4\">512</option><option value=\"5\">1024</option>"
        "<option value=\"6\">2048</option><option value=\"7\">3072</option><option value=\"8\">4096</option>"
        "<option value=\"9\">5120</option></select>\n<input type=\"submit\" value=\"Сменить скорость\">\n"
        "</form>\n</div>\n</div>\n</body>\n</html>\n",
    });
}

std::string globax(const DemoAccount& a) {
    // "<center><b> Traffic Rest: " up to " Kb  Money Rest:" (two spaces), then the money up to
    // " </b></center>".
    return cat({
        "<html>\n<head><title>Globax - account statistics</title></head>\n<body>\n"
        "<p>Account: ", a.login, " (", a.holder, ")</p>\n"
        "<p>Period: 01.01.2007 - 01.01.2007, detail: day</p>\n"
        "<center><b> Traffic Rest: ", a.traffic, " Kb  Money Rest: ", a.balance, " </b></center>\n"
        "<table border=\"1\">\n<tr><th>Date</th><th>Incoming, Kb</th><th>Outgoing, Kb</th></tr>\n"
        "<tr><td>01.01.2007</td><td>0</td><td>0</td></tr>\n</table>\n"
        "<p><a href=\"/index.php?action=logout\">Logout</a></p>\n</body>\n</html>\n",
    });
}

std::string globaxLogin(bool refused) {
    return cat({
        "<html>\n<head><title>Globax - login</title></head>\n<body>\n",
        refused ? "<p><font color=\"red\">Wrong login or password.</font></p>\n" : "",
        "<form method=\"post\" action=\"/index.php?action=go\">\n"
        "Login: <input name=\"login\"><br>\nPassword: <input type=\"password\" name=\"password\"><br>\n"
        "From <input name=\"D1\" value=\"01\">.<input name=\"M1\" value=\"01\">.<input name=\"Y1\" value=\"2007\">\n"
        "to <input name=\"D2\" value=\"01\">.<input name=\"M2\" value=\"01\">.<input name=\"Y2\" value=\"2007\">\n"
        "<select name=\"Detail\"><option>day</option><option>month</option></select>\n"
        "<input type=\"submit\" value=\"Enter\">\n</form>\n</body>\n</html>\n",
    });
}

std::string satGate(const DemoAccount& a) {
    // The balance cell: at least two white-space characters between every label, tag and value, the
    // value beginning with a digit or a dot. "Plan:</td><td>" up to " Kbps " (spaces on both sides).
    return crlf(cat({
        "<html>\n<head>\n<title>SatGate :: Account</title>\n</head>\n<body>\n"
        "<h3>Welcome, ", a.holder, "</h3>\n"
        "<table class=\"account\">\n"
        "\t<tr>\n\t\t<td class=\"label\">Login:</td><td>", a.login, "</td>\n\t</tr>\n"
        "\t<tr>\n\t\t<td class=\"label\">Current ballance:\n\t\t</td>\n\t\t<td>\n\t\t\t", a.balance,
        "\n\t\t</td>\n\t\t<td>\n\t\t\tUSD\n\t\t</td>\n\t</tr>\n"
        "\t<tr><td>Plan:</td><td>", a.speed, " Kbps / ", a.tariff, "</td></tr>\n"
        "\t<tr><td>State:</td><td>", a.status, "</td></tr>\n"
        "</table>\n<p><a href=\"/index.php?logout=1&amp;locale=en_US\">Log out</a></p>\n</body>\n</html>\n",
    }));
}

std::string satGateLogin(bool refused) {
    return crlf(cat({
        "<html>\n<head>\n<title>SatGate :: Login</title>\n</head>\n<body>\n",
        refused ? "<p class=\"error\">Invalid login or password</p>\n" : "",
        "<form method=\"post\" action=\"/index.php?logout=1&amp;locale=en_US\">\n"
        "<table>\n\t<tr><td>Login</td><td><input name=\"login\"></td></tr>\n"
        "\t<tr><td>Password</td><td><input type=\"password\" name=\"password\"></td></tr>\n"
        "</table>\n<input type=\"submit\" value=\"Sign in\">\n</form>\n</body>\n</html>\n",
    }));
}

std::string skyFi(const DemoAccount& a) {
    // The cells after "Баланс:</td>" (up to " р" and one more character) and "Тариф:</td>" (up to
    // "</td>"), each across a line break.
    return cat({
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
        "<title>SKY-FI — личный кабинет</title>\n</head>\n<body>\n<h2>Личный кабинет</h2>\n"
        "<table width=\"500\" border=\"0\">\n"
        "<tr>\n  <td width=\"40%\">Абонент:</td>\n  <td width=\"60%\">", a.holder, "</td>\n</tr>\n"
        "<tr>\n  <td width=\"40%\">Логин:</td>\n  <td width=\"60%\">", a.login, "</td>\n</tr>\n"
        "<tr>\n  <td width=\"40%\">Баланс:</td>\n  <td width=\"60%\">", a.balance, " р.</td>\n</tr>\n"
        "<tr>\n  <td width=\"40%\">Тариф:</td>\n  <td width=\"60%\">", a.tariff, "</td>\n</tr>\n"
        "<tr>\n  <td width=\"40%\">Скорость:</td>\n  <td width=\"60%\">", a.speed, " Кбит/с</td>\n</tr>\n"
        "<tr>\n  <td width=\"40%\">Состояние:</td>\n  <td width=\"60%\">", a.status, "</td>\n</tr>\n"
        "</table>\n<p><a href=\"/control/service.php\">Управление услугой</a></p>\n</body>\n</html>\n",
    });
}

std::string skyFiLogin(bool refused) {
    return cat({
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
        "<title>SKY-FI — вход</title>\n</head>\n<body>\n",
        refused ? "<p style=\"color:red\">Неверное имя пользователя или пароль.</p>\n" : "",
        "<form method=\"post\" action=\"/authorize.php\">\n"
        "Имя пользователя: <input name=\"user_name\"><br>\nПароль: <input type=\"password\" name=\"user_pass\">"
        "<br>\n<input type=\"hidden\" name=\"submit\" value=\"1\">\n<input type=\"image\" src=\"/img/enter.gif\">\n"
        "</form>\n</body>\n</html>\n",
    });
}

std::string skyFiService(const DemoAccount& a, std::string_view note) {
    return cat({
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
        "<title>SKY-FI — управление услугой</title>\n</head>\n<body>\n<h2>Управление услугой</h2>\n",
        note.empty() ? "" : "<p><b>", note, note.empty() ? "" : "</b></p>\n",
        "<p>Абонент ", a.login, ", текущая скорость ", a.speed, " Кбит/с</p>\n"
        "<form method=\"post\" action=\"/control/service.php\">\n<select name=\"sp1\">\n"
        "<option value=\"2\">256 Кбит/с</option><option value=\"3\">512 Кбит/с</option>\n"
        "<option value=\"4\">1024 Кбит/с</option><option value=\"5\">2048 Кбит/с</option>\n"
        "</select>\n<input type=\"submit\" name=\"changesp\" value=\"Изменить\">\n</form>\n</body>\n</html>\n",
    });
}

std::string stv(const DemoAccount& a, std::string_view gate) {
    // "Актуальный Баланс, руб.:</td><td>" up to "</td></tr>" and a line break; "Тарифный план:</td><td>"
    // up to "</td></tr>".
    return cat({
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>СТВ — спутниковый интернет (", gate, ")</title>\n</head>\n<body>\n"
        "<h1>Личный кабинет абонента</h1>\n<table class=\"info\">\n"
        "<tr><td>Абонент:</td><td>", a.holder, "</td></tr>\n"
        "<tr><td>Договор:</td><td>", a.login, "</td></tr>\n"
        "<tr><td>Актуальный Баланс, руб.:</td><td>", a.balance, "</td></tr>\n"
        "<tr><td>Тарифный план:</td><td>", a.tariff, "</td></tr>\n"
        "<tr><td>Статус:</td><td>", a.status, "</td></tr>\n"
        "</table>\n<form method=\"post\" action=\"gate.php?mod=login&amp;mode=off\">"
        "<input type=\"submit\" value=\"Выход\"></form>\n</body>\n</html>\n",
    });
}

std::string stvLogin(std::string_view gate, bool refused, bool loggedOut) {
    return cat({
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>СТВ — вход (", gate, ")</title>\n</head>\n<body>\n",
        refused ? "<p class=\"error\">Неверный номер договора или пароль.</p>\n" : "",
        loggedOut ? "<p>Сеанс завершён.</p>\n" : "",
        "<form method=\"post\" action=\"gate.php\">\n<input type=\"hidden\" name=\"mod\" value=\"login\">\n"
        "Договор: <input name=\"p1\"><br>\nПароль: <input type=\"password\" name=\"p2\"><br>\n"
        "<input type=\"hidden\" name=\"transponder\" value=\"2\">\n<input type=\"submit\" value=\"Войти\">\n"
        "</form>\n</body>\n</html>\n",
    });
}

std::string speedForm(std::string_view portalTitle, std::string_view currentSpeed) {
    return cat({
        "<html>\n<head><title>", portalTitle, " - speed</title></head>\n<body>\n"
        "<p>Current speed: ", currentSpeed, "</p>\n<form method=\"post\" action=\"/speed/\">\n"
        "<input name=\"S\"> <input type=\"submit\" value=\"Change\">\n</form>\n</body>\n</html>\n",
    });
}

std::string speedAnswer(std::string_view portalTitle, bool accepted, std::string_view speed) {
    return cat({
        "<html>\n<head><title>", portalTitle, " - speed</title></head>\n<body>\n",
        accepted ? "<p>The speed has been changed to " : "<p>This speed cannot be chosen. Current speed: ",
        speed, "</p>\n<p><a href=\"/\">Back</a></p>\n</body>\n</html>\n",
    });
}

std::string unauthorized(std::string_view portalTitle) {
    return cat({
        "<html>\n<head><title>401 Authorization Required</title></head>\n<body>\n"
        "<h1>Доступ запрещён</h1>\n<p>", portalTitle,
        ": неверный логин или пароль.</p>\n<hr>\n<address>Apache Server at 127.0.0.1</address>\n"
        "</body>\n</html>\n",
    });
}

std::string notFound(std::string_view target) {
    return cat({
        "<html>\n<head><title>404 Not Found</title></head>\n<body>\n<h1>Not Found</h1>\n"
        "<p>The requested URL ", target, " was not found on this server.</p>\n</body>\n</html>\n",
    });
}

std::string serverError() {
    return "<html>\n<head><title>500 Internal Server Error</title></head>\n<body>\n"
           "<h1>Internal Server Error</h1>\n<p>The server encountered an internal error and was unable to "
           "complete your request.</p>\n</body>\n</html>\n";
}

std::string serviceUnavailable() {
    return "<html>\n<head><title>503 Service Unavailable</title></head>\n<body>\n"
           "<h1>Service Unavailable</h1>\n<p>The server is shutting down.</p>\n</body>\n</html>\n";
}

std::string publisherHome() {
    return cat({
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
        "<title>Korvex — учёт спутниковых счетов</title>\n</head>\n<body>\n<h1>Korvex</h1>\n"
        "<p>Программа для проверки балансов спутникового интернета.</p>\n"
        "<ul>\n<li><a href=\"", kPublisherDownloadPath, "\">Новая версия</a></li>\n"
        "<li><a href=\"/pay/\">Оплата услуг</a></li>\n<li><a href=\"/news.txt\">Новости</a></li>\n</ul>\n"
        "</body>\n</html>\n",
    });
}

std::string publisherPay() {
    return "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
           "<title>Оплата услуг</title>\n</head>\n<body>\n<h1>Оплата услуг</h1>\n"
           "<p>Пополнить счёт спутникового интернета можно картой или через терминал.</p>\n"
           "</body>\n</html>\n";
}

std::string publisherDownload() {
    return "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
           "<title>Korvex — загрузка</title>\n</head>\n<body>\n<h1>Korvex 3.0</h1>\n"
           "<p>Последняя версия программы: 3.0.</p>\n</body>\n</html>\n";
}

std::string publisherNews() {
    return "Korvex 3.0: новости\n"
           "12.03.2010 SpaceGate переносит личный кабинет на новый адрес.\n"
           "01.03.2010 Тарифы SKY-FI «Стандарт» и «Премиум» подешевели на 10%.\n"
           "15.02.2010 Добавлена проверка баланса STV (второй транспондер).\n";
}

}  // namespace korvex::pages
