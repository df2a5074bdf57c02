"""The dashboard in a real browser (headless chromium) through nginx over TLS, against
kiosk-web and a private PostgreSQL: logins, the lock, sessions, the ranking against rows
counted here from the inserted data, live figures, a hall manager's limits, CSRF, bad input."""

import http.client
import json
import os
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
from datetime import date, timedelta
from fractions import Fraction

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(__file__))
import webstack  # noqa: E402

BUILD = os.environ.get("KIOSK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SHOTS = os.environ.get("WEB_SCREENSHOTS")
GRADES = ["非常满意", "比较满意", "一般", "不满意", "非常不满意"]
POINTS = [100, 80, 60, 30, 0]
HALLS = {"一号厅-1": "一号厅", "一号厅-2": "一号厅", "二号厅-1": "二号厅"}
# name: (kiosk, ratings); the grades follow from the row's number, so every name has its mix.
NAMES = {"张伟": ("一号厅-1", 40), "王芳": ("一号厅-2", 25), "窗口 3": ("一号厅-1", 12),
         "O'Brien \"老李\"": ("二号厅-1", 30), "<b>刘洋</b>": ("二号厅-1", 9),
         "陈静": ("一号厅-2", 3), "李强": ("二号厅-1", 18)}


def grade_of(name, i):
    return (i * 7 + len(name) * 3 + (i * i) % 5) % 5


def tenths(numerator, denominator):
    return int(Fraction(numerator * 10, denominator) + Fraction(1, 2))


def expected_ranking(terminals=None, minimum=10):
    rows = []
    for name, (kiosk, count) in NAMES.items():
        if terminals is not None and kiosk not in terminals:
            continue
        per = [0] * 5
        for i in range(count):
            per[grade_of(name, i)] += 1
        n = sum(per)
        score = tenths(sum(p * q for p, q in zip(per, POINTS)), n)
        rate = tenths((per[0] + per[1]) * 100, n)
        rows.append((name, n, score, rate, per))
    rows.sort(key=lambda r: (-r[2], -r[1], [ord(c) for c in r[0]]))
    rows = [r for r in rows if r[1] >= minimum] + [r for r in rows if r[1] < minimum]
    table = []
    for rank, (name, n, score, rate, per) in enumerate(rows, 1):
        enough = n >= minimum
        table.append([str(rank), name, str(n), "%.1f" % (score / 10) if enough else "样本不足",
                      "%.1f%%" % (rate / 10) if enough else "样本不足"] + [str(p) for p in per])
    return table


# Ratings of 2025 over several months, inserted in two statements (the second adds to days the
# first counted), some marked as suspected repeats, some deleted again, and a few on days that
# are no calendar date: (kiosk, number, name, day, grade).
def months_rows():
    rows = []
    for k, kiosk in enumerate(HALLS):
        for i in range(120):
            day = date(2025, 1, 10) + timedelta(days=(i * 5 + k * 3) % 100)
            rows.append((kiosk, 200000 + k * 1000 + i, ["赵六", "钱七", "孙八"][(i + k) % 3],
                         day.isoformat(), GRADES[(i * 3 + k + i // 7) % 5]))
    rows += [("一号厅-1", 209001, "赵六", "2025-02-30", "非常满意"),
             ("一号厅-1", 209002, "赵六", "2025-02-30", "不满意"),
             ("二号厅-1", 209003, "钱七", "2025-13-01", "一般"),
             ("一号厅-2", 209004, "周九", "2025-02-31", "一般")]
    return rows


MONTHS_MARKED = lambda seq: seq % 7 == 0  # noqa: E731
MONTHS_DELETED = lambda seq: seq % 11 == 0  # noqa: E731


def months_expected(rows, frm, to, terminals, period):
    """The ranking (name: ratings and the five grade counts) and the trend's ratings, counted
    here from the rows kept, without the marked ones."""
    names, trend = {}, {}
    start = date.fromisoformat(frm)
    for kiosk, seq, name, day, grade in rows:
        if MONTHS_DELETED(seq) or MONTHS_MARKED(seq) or not frm <= day <= to:
            continue
        if terminals is not None and kiosk not in terminals:
            continue
        per = names.setdefault(name, [0] * 5)
        per[GRADES.index(grade)] += 1
        try:
            d = date.fromisoformat(day)
        except ValueError:
            continue  # no calendar day: in the figures, in no period of the trend
        if period == "week":
            d = max(d - timedelta(days=d.weekday()), start)
        elif period == "month":
            d = max(d.replace(day=1), start)
        trend[d] = trend.get(d, 0) + 1
    labels, d = [], start
    end = date.fromisoformat(to)
    while d <= end:
        labels.append(d)
        if period == "day":
            d += timedelta(days=1)
        elif period == "week":
            d = d - timedelta(days=d.weekday()) + timedelta(days=7)
        else:
            d = (d.replace(day=1) + timedelta(days=32)).replace(day=1)
    return ({n: [sum(p)] + p for n, p in names.items()}, [trend.get(d, 0) for d in labels])


def write_clock(path, value):
    """A test clock file for a service: renamed into place, so it never reads half a number."""
    with open(path + ".new", "w") as f:
        f.write(str(value))
    os.replace(path + ".new", path)


def sql_text(text):
    return "'" + text.replace("'", "''") + "'"


class Dashboard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.stack = cls.browser = cls.profile = cls.clock = None
        try:
            cls.start()
        except BaseException:
            cls.clean_up()
            raise

    @classmethod
    def start(cls):
        cls.clock = tempfile.NamedTemporaryFile("w", delete=False, suffix=".clock")
        cls.now = int(time.time())
        cls.set_clock(0)
        cls.stack = webstack.WebStack(BUILD, clock_file=cls.clock.name)
        values, seq = [], 0
        for name, (kiosk, count) in NAMES.items():
            for i in range(count):
                seq += 1
                values.append("(%s,%d,%s,'2026-11-%02d','10:00:00','%s')" % (
                    sql_text(kiosk), seq, sql_text(name), 1 + i % 28, GRADES[grade_of(name, i)]))
        cls.stack.sql("insert into 评价 (终端,序号,名称,日期,时间,综合评价) values " +
                      ",".join(values))
        # One row outside the five grades, left out of every figure but counted apart.
        cls.stack.sql("insert into 评价 values ('一号厅-1', 9999, '张伟', '2026-11-05', "
                      "'10:00:00', '满意')")
        cls.stack.add_user("admin", "admin-password")
        cls.stack.add_user("hall1", "hall1-password", "viewer", ["一号厅-1", "一号厅-2"])
        for n in range(6):
            cls.stack.add_user("lockme%d" % n, "right-password")
        for kiosk, hall in HALLS.items():
            cls.stack.sql("insert into 终端大厅 values (%s, %s)" % (sql_text(kiosk), sql_text(hall)))
        cls.stack.start_web()
        # The tests log in far more often than a person; the limit itself is nginx's.
        cls.stack.start_nginx(login_rate="6000r/m")
        cls.profile = tempfile.mkdtemp(prefix="kiosk-web-chrome-")
        options = webdriver.ChromeOptions()
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                    "--disable-background-networking", "--disable-component-update",
                    "--disable-sync", "--ignore-certificate-errors", "--window-size=1920,1080",
                    "--user-data-dir=" + cls.profile):
            options.add_argument(arg)
        options.binary_location = "/usr/bin/chromium"
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.tls = ssl.create_default_context()
        cls.tls.check_hostname = False
        cls.tls.verify_mode = ssl.CERT_NONE

    @classmethod
    def tearDownClass(cls):
        cls.clean_up()

    @classmethod
    def clean_up(cls):
        # Whatever was started, also by a start that failed half-way; each step even when the
        # one before it failed.
        try:
            try:
                if cls.browser:
                    cls.browser.quit()
            finally:
                if cls.stack:
                    cls.stack.close()
        finally:
            if cls.profile:
                shutil.rmtree(cls.profile, ignore_errors=True)
            if cls.clock:
                os.unlink(cls.clock.name)
            cls.stack = cls.browser = cls.profile = cls.clock = None

    @classmethod
    def set_clock(cls, offset):
        write_clock(cls.clock.name, cls.now + offset)

    # --- plain HTTP through nginx, for the routes a script would use --------------------------
    def request(self, method, path, body=None, cookie=None, headers=None):
        connection = http.client.HTTPSConnection("localhost", self.stack.port, context=self.tls,
                                                 timeout=30)
        h = dict(headers or {})
        if cookie:
            h["Cookie"] = cookie
        if body is not None:
            h["Content-Type"] = "application/x-www-form-urlencoded"
        connection.request(method, path, body=body, headers=h)
        answer = connection.getresponse()
        data = answer.read()
        connection.close()
        return answer.status, answer.headers, data.decode("utf-8", "replace")

    def login(self, name, password):
        """Logs in as a script does; returns (status, session cookie or None, page)."""
        status, headers, page = self.request("GET", "/login")
        csrf = re.search(r'name="csrf" value="([0-9a-f]{32})"', page).group(1)
        login_cookie = headers["Set-Cookie"].split(";")[0]
        status, headers, page = self.request(
            "POST", "/login", urllib.parse.urlencode(
                {"name": name, "password": password, "csrf": csrf}), cookie=login_cookie)
        session = None
        for value in headers.get_all("Set-Cookie") or []:
            if value.startswith("__Host-session=") and "Max-Age=0" not in value:
                session = value.split(";")[0]
        return status, session, page

    def session_csrf(self, cookie):
        status, _, page = self.request("GET", "/", cookie=cookie)
        self.assertEqual(status, 200)
        return re.search(r'data-csrf="([0-9a-f]{32})"', page).group(1)

    # --- in the browser -----------------------------------------------------------------------
    def browser_login(self, name, password):
        b = self.browser
        b.delete_all_cookies()
        b.get(self.stack.base + "/login")
        b.find_element(By.ID, "name").send_keys(name)
        b.find_element(By.ID, "password").send_keys(password)
        b.find_element(By.ID, "login").click()

    def table_rows(self, table):
        # Read in one step in the page: the script replaces the rows every few seconds.
        return self.browser.execute_script(
            "const t = document.getElementById(arguments[0]);"
            "return t ? [...t.tBodies[0].rows].map(r => [...r.cells].map(c => c.innerText)) : [];",
            table)

    def ranking_rows(self):
        return self.table_rows("ranking")

    def wait_for(self, condition, seconds=10):
        # A page that is replaced while the condition reads it (a form posted, a live update)
        # leaves stale elements: the condition is asked again on the new page.
        return WebDriverWait(self.browser, seconds, poll_frequency=0.2,
                             ignored_exceptions=(NoSuchElementException,
                                                 StaleElementReferenceException)).until(
            lambda _: condition())

    def test_01_login_answers(self):
        for name, password, ok in (("admin", "admin-password", True),
                                   ("admin", "wrong-password", False),
                                   ("nobody", "admin-password", False),
                                   ("admin' or '1'='1", "x' or '1'='1", False),
                                   ("", "admin-password", False)):
            with self.subTest(name=name, password=password):
                self.browser_login(name, password)
                if ok:
                    self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
                    self.assertIn("admin", self.browser.find_element(By.TAG_NAME, "nav").text)
                else:
                    if name:
                        # The click can return before the answer to the post has replaced the
                        # login page, which has no message yet.
                        self.assertEqual(self.wait_for(lambda: self.browser.find_element(
                            By.ID, "message").text), "用户名或密码错误")
                    self.assertIn("/login", self.browser.current_url)

    def test_02_lock_after_five(self):
        # Five wrong passwords lock the name, also for the right one, until 15 minutes passed.
        for n, (wrong, offset, locked) in enumerate(((5, 0, True), (4, 0, False),
                                                     (5, 14 * 60, True), (5, 15 * 60 + 1, False),
                                                     (9, 0, True))):
            with self.subTest(wrong=wrong, offset=offset):
                name = "lockme%d" % n
                self.set_clock(0)
                for attempt in range(wrong):
                    self.assertEqual(self.login(name, "wrong")[0], 401 if attempt < 5 else 429)
                self.set_clock(offset)
                status, session, page = self.login(name, "right-password")
                self.set_clock(0)
                self.assertEqual(status, 429 if locked else 303, page[-300:])
                self.assertEqual(session is None, locked)
                if locked:
                    self.assertIn("登录失败次数过多", page)

    def test_03_session_ends(self):
        for how, offset, alive in (("idle 29 min", 29 * 60, True), ("idle 30 min", 30 * 60, False),
                                   ("logout", 0, False), ("used every 20 min", None, True)):
            with self.subTest(how=how):
                self.set_clock(0)
                status, cookie, _ = self.login("admin", "admin-password")
                self.assertEqual(status, 303)
                if how == "logout":
                    csrf = self.session_csrf(cookie)
                    self.assertEqual(self.request("POST", "/logout", "csrf=" + csrf,
                                                  cookie=cookie)[0], 303)
                elif offset is None:
                    for step in (20, 40, 60):
                        self.set_clock(step * 60)
                        self.assertEqual(self.request("GET", "/api/terminals", cookie=cookie)[0],
                                         200)
                else:
                    self.set_clock(offset)
                status, _, _ = self.request("GET", "/api/terminals", cookie=cookie)
                self.set_clock(0)
                self.assertEqual(status, 200 if alive else 401)
                # A new login gives a new token.
                self.assertNotEqual(self.login("admin", "admin-password")[1], cookie)

    def test_04_ranking_equals_rows(self):
        for user, password, scope, terminals in (
                ("admin", "admin-password", "", None),
                ("admin", "admin-password", "&hall=二号厅", ["二号厅-1"]),
                ("admin", "admin-password", "&terminal=一号厅-2", ["一号厅-2"]),
                ("hall1", "hall1-password", "", ["一号厅-1", "一号厅-2"])):
            with self.subTest(user=user, scope=scope):
                self.browser_login(user, password)
                self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
                self.browser.get(self.stack.base + "/?from=2026-11-01&to=2026-11-30" +
                                 urllib.parse.quote(scope, safe="&="))
                expected = expected_ranking(terminals)
                self.wait_for(lambda: self.ranking_rows() == expected)
                total = sum(int(r[2]) for r in expected)
                self.assertEqual(self.browser.find_element(By.ID, "ratings").text, str(total))
                self.assertEqual(self.browser.find_element(By.ID, "outside").text,
                                 "1" if terminals is None or "一号厅-1" in terminals else "0")

    def test_05_live_figures(self):
        self.browser_login("admin", "admin-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        self.browser.get(self.stack.base + "/?from=2026-12-01&to=2026-12-31")
        self.wait_for(lambda: self.browser.find_element(By.ID, "ratings").text == "0")
        self.stack.sql("insert into 评价 (终端,序号,名称,日期,时间,综合评价) values "
                       "('一号厅-1', 20001, '张伟', '2026-12-03', '09:00:00', '非常满意')")
        self.wait_for(lambda: self.browser.find_element(By.ID, "ratings").text == "1", 10)
        self.assertEqual(self.ranking_rows()[0][1], "张伟")
        self.stack.sql("delete from 评价 where 序号 = 20001")

    def test_06_hall_manager_stays_in_hall(self):
        _, cookie, _ = self.login("hall1", "hall1-password")
        base = "from=2026-11-01&to=2026-11-30&"
        for route in ("/api/overview?", "/export.csv?", "/export.xlsx?", "/api/person?name=" +
                      urllib.parse.quote("李强") + "&"):
            for other in ("hall=" + urllib.parse.quote("二号厅"),
                          "terminal=" + urllib.parse.quote("二号厅-1")):
                with self.subTest(route=route, other=other):
                    status, _, body = self.request("GET", route + base + other, cookie=cookie)
                    self.assertEqual(status, 403)
                    self.assertIn("无权查看", body)
        # Without a scope, only the hall's rows.
        status, _, body = self.request("GET", "/api/overview?" + base[:-1], cookie=cookie)
        names = [r["name"] for r in json.loads(body)["ranking"]]
        self.assertEqual(sorted(names), sorted(r[1] for r in expected_ranking(HALLS.keys() - {"二号厅-1"})))
        status, _, body = self.request("GET", "/export.csv?" + base[:-1], cookie=cookie)
        self.assertNotIn("李强", body)
        self.assertIn("张伟", body)
        status, _, body = self.request("GET", "/api/terminals", cookie=cookie)
        self.assertEqual(sorted(t["terminal"] for t in json.loads(body)["terminals"]),
                         ["一号厅-1", "一号厅-2"])
        # The page asked for the other hall shows the refusal, no figures of that hall.
        self.browser_login("hall1", "hall1-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        self.browser.get(self.stack.base + "/?" + base + "hall=" + urllib.parse.quote("二号厅"))
        self.wait_for(lambda: self.browser.find_element(By.ID, "error").text == "无权查看该大厅")
        self.assertEqual(self.ranking_rows(), [])
        self.assertEqual(self.request("GET", "/admin", cookie=cookie)[0], 403)

    def test_07_post_needs_csrf(self):
        _, cookie, _ = self.login("admin", "admin-password")
        csrf = self.session_csrf(cookie)
        for path, body, headers, status in (
                ("/admin/minimum", "minimum=5", {}, 403),
                ("/admin/minimum", "minimum=5&csrf=" + "0" * 32, {}, 403),
                ("/admin/minimum", "minimum=5", {"X-CSRF-Token": "f" * 32}, 403),
                ("/logout", "", {}, 403),
                ("/admin/user/remove", "name=hall1", {}, 403),
                ("/admin/minimum", "minimum=10", {"X-CSRF-Token": csrf}, 303),
                ("/admin/minimum", "minimum=10&csrf=" + csrf, {}, 303)):
            with self.subTest(path=path, body=body, headers=headers):
                got, _, text = self.request("POST", path, body, cookie=cookie, headers=headers)
                self.assertEqual(got, status)
                if status == 403:
                    self.assertIn("安全令牌", text)
        # The login form itself: without the token of its own page.
        got, _, text = self.request("POST", "/login", "name=admin&password=admin-password")
        self.assertEqual(got, 403)

    def test_08_bad_input(self):
        _, cookie, _ = self.login("admin", "admin-password")
        csrf = self.session_csrf(cookie)
        q = urllib.parse.quote
        rows = (
            ("date not a date", "GET", "/api/overview?from=2026-02-30&to=2026-03-01", None, None),
            ("date words", "GET", "/api/overview?from=yesterday&to=2026-03-01", None, None),
            ("missing date", "GET", "/export.csv?from=2026-01-01", None, None),
            ("reversed range", "GET", "/export.csv?from=2026-03-01&to=2026-01-01", None, None),
            ("unknown kiosk", "GET", "/api/overview?from=2026-01-01&to=2026-01-02&terminal=" +
             q("不存在"), None, None),
            ("quote in kiosk", "GET", "/export.pdf?from=2026-01-01&to=2026-01-02&terminal=" +
             q("x' or '1'='1"), None, None),
            ("sql in hall", "GET", "/api/overview?from=2026-01-01&to=2026-01-02&hall=" +
             q("'); drop table 评价; --"), None, None),
            ("sql in date", "GET", "/api/overview?from=" + q("2026-01-01' or 1=1 --") +
             "&to=2026-01-02", None, None),
            ("both kiosk and hall", "GET", "/api/overview?from=2026-01-01&to=2026-01-02&hall=a"
             "&terminal=b", None, None),
            ("repeated date", "GET", "/api/overview?from=2026-01-01&from=2026-01-05&to=2026-01-09",
             None, None),
            ("bad period", "GET", "/api/overview?from=2026-01-01&to=2026-01-02&period=year", None,
             None),
            ("long value", "GET", "/api/overview?from=2026-01-01&to=2026-01-02&terminal=" +
             "x" * 5000, None, None),
            ("20 KB value", "GET", "/api/overview?from=" + "1" * 20000 + "&to=2026-01-02", None,
             None),
            ("1 MB value", "GET", "/api/overview?from=" + "1" * (1 << 20) + "&to=2026-01-02", None,
             None),
            ("1 MB form", "POST", "/admin/minimum", "csrf=%s&minimum=%s" % (csrf, "9" * (1 << 20)),
             None),
            ("minimum not a number", "POST", "/admin/minimum", "csrf=%s&minimum=ten" % csrf, None),
            ("hall of unknown kiosk", "POST", "/admin/hall", "csrf=%s&terminal=%s&hall=x" % (
                csrf, q("没有")), None),
            ("forged token", "GET", "/api/overview?from=2026-01-01&to=2026-01-02", None,
             "__Host-session=" + "a" * 32),
            ("token with quotes", "GET", "/export.csv?from=2026-01-01&to=2026-01-02", None,
             "__Host-session=\"' or 1=1"),
            ("no cookie", "GET", "/api/overview?from=2026-01-01&to=2026-01-02", None, ""),
            ("unknown page", "GET", "/etc/passwd", None, None),
        )
        for name, method, path, body, own_cookie in rows:
            with self.subTest(case=name):
                try:
                    status, _, text = self.request(
                        method, path, body, cookie=cookie if own_cookie is None else own_cookie)
                except (ssl.SSLError, ConnectionError):
                    # nginx answers a request line far above its buffers with 414 and closes
                    # at once; the client, still sending, may see the cut before the answer.
                    self.assertEqual(name, "1 MB value")
                    continue
                self.assertTrue(400 <= status < 500, "%d %s" % (status, text[:200]))
                self.assertRegex(text, "[\u4e00-\u9fff]")
        # Nothing was changed by any of them.
        self.assertEqual(self.stack.sql("select count(*) from 评价").strip(),
                         str(sum(c for _, c in NAMES.values()) + 1))
        self.assertEqual(self.stack.sql("select 值 from 网页设置 where 键 = 'minimum'").strip(),
                         "10")

    def test_09_database_restart(self):
        _, cookie, _ = self.login("admin", "admin-password")
        path = "/api/overview?from=2026-11-01&to=2026-11-30"
        self.stack.pg.stop()
        for route in (path, "/healthz", "/"):
            with self.subTest(route=route):
                status, _, text = self.request("GET", route, cookie=cookie)
                self.assertEqual(status, 503)
                self.assertIn("中心数据库暂时无法连接", text)
                self.assertNotIn(self.stack.password, text)
        self.stack.pg.start()
        self.assertEqual(self.request("GET", "/healthz")[0:3:2], (200, "ok\n"))
        self.assertEqual(self.request("GET", path, cookie=cookie)[0], 200)

    def test_10_exports_as_the_report_command(self):
        _, cookie, _ = self.login("admin", "admin-password")
        report = os.path.join(self.stack.dir, "report.csv")
        for start, end in (("2026-11-01", "2026-11-30"), ("2026-11-05", "2026-11-05"),
                           ("2025-01-01", "2025-12-31")):
            with self.subTest(start=start, end=end):
                if os.path.exists(report):
                    os.unlink(report)
                result = subprocess.run(
                    [os.path.join(BUILD, "src/tools/kiosk-report"), "--central",
                     self.stack.central, "--from", start, "--to", end, "--csv", report],
                    capture_output=True)
                self.assertEqual(result.returncode, 0, result.stderr)
                connection = http.client.HTTPSConnection("localhost", self.stack.port,
                                                         context=self.tls, timeout=30)
                connection.request("GET", "/export.csv?from=%s&to=%s" % (start, end),
                                   headers={"Cookie": cookie})
                answer = connection.getresponse()
                self.assertEqual(answer.status, 200)
                self.assertEqual(answer.read(), open(report, "rb").read())
                connection.close()

    def test_11_password_never_shown(self):
        secret = "Sup3r-Secret"
        for url in ("postgresql://kiosk:%s@127.0.0.1:1/pingjia" % secret,
                    "postgresql://kiosk:%s@/pingjia" % secret,
                    "postgresql://kiosk:%s@127.0.0.1:99999/pingjia" % secret,
                    "postgresql://kiosk:%s@127.0.0.1:5432/pingjia?bad key=1" % secret,
                    "http://kiosk:%s@127.0.0.1/pingjia" % secret,
                    "kiosk:%s@127.0.0.1" % secret):
            # A well-formed URL of a server that is down keeps the service waiting for it.
            serving = [] if ":1/" in url else [["--listen", "127.0.0.1:0"]]
            for command in [["--list-users"]] + serving:
                with self.subTest(url=url, command=command):
                    result = subprocess.run(
                        [os.path.join(BUILD, "src/web/kiosk-web"), "--central", url] + command,
                        capture_output=True, text=True, timeout=60)
                    self.assertNotEqual(result.returncode, 0)
                    self.assertNotIn(secret, result.stdout + result.stderr)
                    self.assertRegex(result.stderr, "[\u4e00-\u9fff]")

    def test_12_terminal_states(self):
        self.stack.sql("insert into 终端状态 values ('一号厅-1', now(), 0, '1.0', 5368709120), "
                       "('一号厅-2', now() - interval '11 minutes', 7, '1.0', 1073741824) "
                       "on conflict do nothing")
        # The service's clock stands where the server's is now (the rows above are dated by it).
        server_now = int(self.stack.sql("select extract(epoch from now())::bigint").strip())
        self.set_clock(server_now - self.now)
        self.browser_login("admin", "admin-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        self.browser.get(self.stack.base + "/terminals")
        expected = {"一号厅-1": ("在线", "0", "5.0 GB"), "一号厅-2": ("离线", "7", "1.0 GB"),
                    "二号厅-1": ("离线", "—", "—")}

        def states():
            return {c[0]: (c[2], c[5], c[7]) for c in self.table_rows("terminals")}
        try:
            self.wait_for(lambda: states() == expected)
        finally:
            self.set_clock(0)

    def accounts_now(self):
        return self.stack.sql("select 名称, 角色, 终端, 口令 from 网页用户 order by 名称")

    def post_form(self, path, fields, cookie):
        csrf = self.session_csrf(cookie)
        return self.request("POST", path, urllib.parse.urlencode(dict(fields, csrf=csrf)),
                            cookie=cookie)

    def test_14_accounts_in_the_dashboard(self):
        # Added in the browser's form: the new hall manager sees its kiosk only.
        self.browser_login("admin", "admin-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        self.browser.get(self.stack.base + "/admin")
        for field, value in (("newName", "新主管"), ("newTerminals", "二号厅-1"),
                             ("newPassword", "new-manager-1"), ("newAgain", "new-manager-1")):
            self.browser.find_element(By.ID, field).send_keys(value)
        self.browser.find_element(By.ID, "addButton").click()
        self.wait_for(lambda: self.browser.find_elements(By.ID, "notice"))
        self.assertEqual(self.browser.find_element(By.ID, "notice").text, "已添加账户。")
        self.assertIn("新主管", self.browser.find_element(By.ID, "users").text)
        status, manager, _ = self.login("新主管", "new-manager-1")
        self.assertEqual(status, 303)

        def kiosks(cookie):
            status, _, body = self.request("GET", "/api/terminals", cookie=cookie)
            return status, sorted(t["terminal"] for t in json.loads(body).get("terminals", []))
        self.assertEqual(kiosks(manager), (200, ["二号厅-1"]))
        _, admin, _ = self.login("admin", "admin-password")
        # A new list of kiosks holds at once for the open session, the Chinese comma too.
        self.assertEqual(self.post_form("/admin/user/change", {
            "name": "新主管", "role": "viewer", "terminals": "一号厅-1，一号厅-2"}, admin)[0], 303)
        self.assertEqual(kiosks(manager), (200, ["一号厅-1", "一号厅-2"]))
        # A new password ends its sessions and replaces the old one.
        self.assertEqual(self.post_form("/admin/user/password", {
            "name": "新主管", "password": "second-pass-2", "again": "second-pass-2"}, admin)[0],
            303)
        self.assertEqual(kiosks(manager)[0], 401)
        self.assertEqual(self.login("新主管", "new-manager-1")[0], 401)
        status, manager, _ = self.login("新主管", "second-pass-2")
        self.assertEqual(status, 303)
        self.assertEqual(self.post_form("/admin/user/remove", {"name": "新主管"}, admin)[0], 303)
        self.assertEqual(kiosks(manager)[0], 401)
        self.assertEqual(self.login("新主管", "second-pass-2")[0], 401)

        viewer = {"name": "另一个", "role": "viewer", "terminals": "", "password": "long-enough-1",
                  "again": "long-enough-1"}
        _, hall1, _ = self.login("hall1", "hall1-password")
        rows = (
            ("name taken", admin, "/admin/user/add", dict(viewer, name="hall1"), 409, "账户已存在"),
            ("empty name", admin, "/admin/user/add", dict(viewer, name="  "), 400, "用户名不能为空"),
            ("name of 65", admin, "/admin/user/add", dict(viewer, name="长" * 65), 400, "最多 64"),
            ("unknown role", admin, "/admin/user/add", dict(viewer, role="root"), 400, "角色只能是"),
            ("admin with kiosks", admin, "/admin/user/add",
             dict(viewer, role="admin", terminals="一号厅-1"), 400, "不能指定终端"),
            ("unknown kiosk", admin, "/admin/user/add", dict(viewer, terminals="一号厅-1,不存在"),
             400, "未知终端：不存在"),
            ("SQL as kiosk", admin, "/admin/user/change",
             dict(viewer, name="hall1", terminals="x'); delete from 网页用户; --"), 400,
             "未知终端"),
            ("short password", admin, "/admin/user/add", dict(viewer, password="short",
                                                              again="short"), 400, "至少 8 个字符"),
            ("passwords differ", admin, "/admin/user/password",
             dict(name="hall1", password="long-enough-1", again="long-enough-2"), 400, "不一致"),
            ("no such account", admin, "/admin/user/password",
             dict(name="没有", password="long-enough-1", again="long-enough-1"), 404,
             "没有这个账户"),
            ("demote oneself", admin, "/admin/user/change", dict(viewer, name="admin"), 409,
             "不能更改自己账户的角色"),
            ("remove oneself", admin, "/admin/user/remove", {"name": "admin"}, 409,
             "不能删除自己的账户"),
            ("viewer adds", hall1, "/admin/user/add", viewer, 403, "只有管理员"),
            ("viewer widens itself", hall1, "/admin/user/change",
             dict(viewer, name="hall1", role="admin"), 403, "只有管理员"),
            ("viewer resets", hall1, "/admin/user/password", dict(viewer, name="admin"), 403,
             "只有管理员"),
            ("viewer removes", hall1, "/admin/user/remove", {"name": "admin"}, 403, "只有管理员"),
            ("viewer sets minimum", hall1, "/admin/minimum", {"minimum": "0"}, 403, "只有管理员"),
        )
        before = self.accounts_now()
        for case, cookie, path, fields, status, message in rows:
            with self.subTest(case=case):
                got, _, text = self.post_form(path, fields, cookie)
                self.assertEqual(got, status, text[-300:])
                self.assertIn(message, text)
                self.assertEqual(self.accounts_now(), before)
        self.assertEqual(self.stack.sql("select 值 from 网页设置 where 键 = 'minimum'").strip(),
                         "10")

    def test_15_trend_gaps(self):
        # Days without ratings are gaps in the line (no score), with a count of 0.
        _, cookie, _ = self.login("admin", "admin-password")
        status, _, body = self.request(
            "GET", "/api/overview?from=2026-11-27&to=2026-12-02&period=day", cookie=cookie)
        self.assertEqual(status, 200)
        trend = [(p["ratings"] > 0, p["score"] is not None) for p in json.loads(body)["trend"]]
        self.assertEqual(trend, [(True, True), (True, True)] + [(False, False)] * 4)
        self.browser_login("admin", "admin-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        self.browser.get(self.stack.base + "/?from=2026-11-27&to=2026-12-02&period=day")
        drawn = "const c = window.Chart && Chart.getChart('trendChart');" \
                "return c ? c.data.datasets[0].data.map(v => v === null) : null;"
        self.wait_for(lambda: self.browser.execute_script(drawn) ==
                      [False, False, True, True, True, True])

    def test_13_screenshots(self):
        if not SHOTS:
            self.skipTest("WEB_SCREENSHOTS names no folder")
        self.browser_login("admin", "admin-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        for width, height in ((360, 740), (1920, 1080)):
            for page, element, shot in (("/?from=2026-11-01&to=2026-11-30", "ranking", "overview"),
                                        ("/terminals", "terminals", "terminals"),
                                        ("/admin", "users", "admin")):
                self.browser.set_window_size(width, height)
                self.browser.get(self.stack.base + page)
                self.wait_for(lambda: self.browser.find_elements(
                    By.CSS_SELECTOR, "#%s tbody tr" % element))
                name = "web-%s-%dx%d.png" % (shot, width, height)
                self.browser.save_screenshot(os.path.join(SHOTS, name))


    def test_14_reasons_counted(self):
        # Three bad ratings with their reasons as a kiosk forwards them; per name how often each
        # reason was chosen, in the viewer's scope, on the page and in the CSV.
        self.stack.sql("insert into 评价 (终端,序号,名称,日期,时间,综合评价) values "
                       "('一号厅-1', 30001, '张伟', '2026-12-04', '09:00:00', '非常不满意'),"
                       "('一号厅-2', 30002, '张伟', '2026-12-04', '09:01:00', '不满意'),"
                       "('二号厅-1', 30003, '李强', '2026-12-05', '09:00:00', '不满意');"
                       "insert into 评价_原因 values ('一号厅-1', 30001, '等候时间太长'),"
                       "('一号厅-1', 30001, '其他'), ('一号厅-2', 30002, '等候时间太长'),"
                       "('二号厅-1', 30003, '业务不熟练')")
        zhang = [["张伟", "等候时间太长", "2"], ["张伟", "其他", "1"]]
        try:
            for user, password, expected in (("admin", "admin-password",
                                              zhang + [["李强", "业务不熟练", "1"]]),
                                             ("hall1", "hall1-password", zhang)):
                with self.subTest(user=user):
                    self.browser_login(user, password)
                    self.wait_for(lambda: self.browser.find_elements(By.ID, "reasons"))
                    self.browser.get(self.stack.base + "/?from=2026-12-01&to=2026-12-31")
                    self.wait_for(lambda: self.table_rows("reasons") == expected)
                    _, cookie, _ = self.login(user, password)
                    _, _, body = self.request("GET", "/export.csv?from=2026-12-01&to=2026-12-31",
                                              cookie=cookie)
                    self.assertIn("\r\n\r\n差评原因\r\n名称,差评原因,次数\r\n" +
                                  "".join(",".join(r) + "\r\n" for r in expected), body)
        finally:
            self.stack.sql("delete from 评价 where 序号 between 30001 and 30003")
        # The ratings took their reasons and counts with them.
        self.assertEqual(self.stack.sql("select count(*) from 评价_原因_日计").strip(), "0")

    def test_16_months_and_days_agree(self):
        # Whole months come from the monthly counts and the days around them from the daily
        # ones: the figures must be those of the rows, whatever the range and the scope, after
        # the triggers kept the counts and after the monthly counts were made again from the
        # daily ones (twice: the second run adds nothing).
        rows = months_rows()
        values = ["(%s,%d,%s,%s,'10:00:00',%s)" % (sql_text(k), seq, sql_text(n), sql_text(d),
                                                    sql_text(g)) for k, seq, n, d, g in rows]
        insert = "insert into 评价 (终端,序号,名称,日期,时间,综合评价) values "
        self.stack.sql(insert + ",".join(values[::2]))
        self.stack.sql(insert + ",".join(values[1::2]))
        self.stack.sql("insert into 评价_疑似重复 select 终端, 序号 from 评价 where 序号 >= 200000 "
                       "and 序号 %% 7 = 0; delete from 评价 where 序号 >= 200000 and 序号 %% 11 = 0"
                       .replace("%%", "%"))
        cookies = {user: self.login(user, user + "-password")[1] for user in ("admin", "hall1")}
        cases = (
            ("partial months at both ends", "admin", "", "2025-01-15", "2025-04-10", None),
            ("one whole month", "admin", "", "2025-02-01", "2025-02-28", None),
            ("the year", "admin", "", "2025-01-01", "2025-12-31", None),
            ("viewer, one month between partial ones", "hall1", "", "2025-01-31", "2025-03-01",
             ["一号厅-1", "一号厅-2"]),
            ("viewer, whole months only", "hall1", "", "2025-01-01", "2025-03-31",
             ["一号厅-1", "一号厅-2"]),
            ("hall, whole months at both ends", "admin", "&hall=二号厅", "2025-02-01",
             "2025-03-31", ["二号厅-1"]),
            ("kiosk, no whole month", "admin", "&terminal=一号厅-1", "2025-03-02", "2025-03-30",
             ["一号厅-1"]),
            ("across a month's end, no whole month", "admin", "", "2025-02-15", "2025-03-14",
             None))

        def check(when):
            for name, user, scope, frm, to, terminals in cases:
                for period in ("day", "week", "month"):
                    with self.subTest(when=when, case=name, period=period):
                        status, _, body = self.request(
                            "GET", "/api/overview?from=%s&to=%s&period=%s%s" % (
                                frm, to, period, urllib.parse.quote(scope, safe="&=")),
                            cookie=cookies[user])
                        self.assertEqual(status, 200, body)
                        answer = json.loads(body)
                        ranking, trend = months_expected(rows, frm, to, terminals, period)
                        self.assertEqual({r["name"]: [r["ratings"]] + r["per"]
                                          for r in answer["ranking"]}, ranking)
                        self.assertEqual([p["ratings"] for p in answer["trend"]], trend)

        try:
            check("kept by the triggers")
            # The names to choose on the page of one name, also one rated on no calendar day.
            hall = ("一号厅-1", "一号厅-2")
            _, _, page = self.request("GET", "/person", cookie=cookies["hall1"])
            self.assertEqual(re.findall(r"<option>([^<]*)</option>", page), sorted(
                {n for n, (k, _) in NAMES.items() if k in hall} |
                {n for k, seq, n, _, _ in rows if k in hall and not MONTHS_DELETED(seq)}))
            self.stack.sql("truncate 评价_月计, 评价_终端日计")
            for _ in range(2):
                subprocess.run([os.path.join(BUILD, "src/tools/kiosk-mkdb"), "--postgres",
                                self.stack.central], check=True, stdout=subprocess.DEVNULL)
            # A change elsewhere, so that kiosk-web reads the counts again.
            self.stack.sql("insert into 评价 (终端,序号,名称,日期,时间,综合评价) values "
                           "('一号厅-1', 299999, '张伟', '2024-06-01', '09:00:00', '一般');"
                           "delete from 评价 where 序号 = 299999")
            check("made again from the daily counts")
        finally:
            self.stack.sql("delete from 评价_疑似重复 where 序号 >= 200000;"
                           "delete from 评价 where 序号 >= 200000")
        self.assertEqual(self.stack.sql("select count(*) from 评价_月计 where 月份 like '2025%'")
                         .strip(), "0")

    def test_17_account_changes_at_once(self):
        # The service keeps a session's account in memory; a change made outside it, by the
        # command, holds from the very next request.
        for name, change, password, status, kiosks in (
                ("removed", ["--remove-user", "changing"], "", 401, None),
                ("limited to one kiosk",
                 ["--add-user", "changing", "--role", "viewer", "--terminals", "二号厅-1"],
                 "changing-password", 200, ["二号厅-1"]),
                ("given every kiosk", ["--add-user", "changing", "--role", "admin"],
                 "changing-password", 200, sorted(HALLS)),
                ("a new password", ["--add-user", "changing", "--role", "viewer", "--terminals",
                                    "一号厅-1"], "another-password", 401, None)):
            with self.subTest(change=name):
                self.stack.add_user("changing", "changing-password", "viewer", ["一号厅-1"])
                _, cookie, _ = self.login("changing", "changing-password")
                answer, _, body = self.request("GET", "/api/terminals", cookie=cookie)
                self.assertEqual([t["terminal"] for t in json.loads(body)["terminals"]],
                                 ["一号厅-1"])
                self.assertEqual(self.stack.kiosk_web(*change, stdin=password + "\n")
                                 .returncode, 0)
                answer, _, body = self.request("GET", "/api/terminals", cookie=cookie)
                self.assertEqual(answer, status)
                if kiosks is not None:
                    self.assertEqual(sorted(t["terminal"] for t in json.loads(body)["terminals"]),
                                     kiosks)
        self.stack.kiosk_web("--remove-user", "changing")


if __name__ == "__main__":
    unittest.main(verbosity=2)
