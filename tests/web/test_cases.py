"""The cases of bad ratings through the whole stack of test_dashboard.py (its start-up, data
and helpers): cases opened by the central trigger and for the ratings held before, the history
that the database keeps from change, a case taken from 待核实 to 已办结 in the browser, a hall
manager refused another hall's case by every route, and the deadlines on the working-day
calendar with the service's clock set."""

import calendar
import os
import re
import subprocess
import sys
import time
import unittest
import urllib.parse

from selenium.webdriver.common.by import By

sys.path.insert(0, os.path.dirname(__file__))
import test_dashboard  # noqa: E402
from test_dashboard import BUILD, GRADES, HALLS, NAMES, SHOTS, grade_of, sql_text  # noqa: E402

BAD = ("不满意", "非常不满意")
q = urllib.parse.quote


def bad_ratings(terminals=None):
    count = 0
    for name, (kiosk, n) in NAMES.items():
        if terminals is None or kiosk in terminals:
            count += sum(1 for i in range(n) if GRADES[grade_of(name, i)] in BAD)
    return count


def utc(text):
    return calendar.timegm(time.strptime(text, "%Y-%m-%d %H:%M"))


class Cases(test_dashboard.Dashboard):
    @classmethod
    def start(cls):
        super().start()
        # The reasons table belongs to the kiosks' reasons; made here only where it is missing.
        cls.stack.sql("set role kiosk; create table if not exists 评价_原因 (终端 text, 序号 bigint, 原因 text, "
                      "primary key (终端, 序号, 原因))")

    def at(self, when):
        """Sets the service's clock to a UTC time "yyyy-mm-dd HH:MM"."""
        self.set_clock(utc(when) - self.now)

    def tearDown(self):
        self.set_clock(0)

    def one(self, sql):
        return self.stack.sql(sql).strip()

    def first_bad(self, terminal):
        return int(self.one("select 序号 from 评价 where 终端 = %s and 综合评价 in ('不满意', "
                            "'非常不满意') order by 序号 limit 1" % sql_text(terminal)))

    def case_of(self, terminal, seq):
        return int(self.one("select 编号 from 差评案件 where 终端 = %s and 序号 = %d" % (
            sql_text(terminal), seq)))

    def post_step(self, cookie, case, state_from, state_to, note):
        csrf = self.session_csrf(cookie)
        return self.request("POST", "/cases/%d/step" % case, urllib.parse.urlencode(
            {"csrf": csrf, "from": state_from, "to": state_to, "note": note}), cookie=cookie)

    def assertSeeOther(self, answer):
        status, _, text = answer
        self.assertEqual(status, 303, re.sub("<[^>]*>", " ", text)[-300:])

    def test_c1_cases_opened_and_history_kept(self):
        # Every bad rating inserted has its case, each with the one opening step.
        self.assertEqual(self.one("select count(*) from 差评案件"), str(bad_ratings()))
        self.assertEqual(self.one("select count(*) from 差评案件 c join 差评案件_记录 h on "
                                  "h.案件 = c.编号 and h.新状态 = '待核实' and h.操作人 = '系统'"),
                         str(bad_ratings()))
        # A database that held ratings before the cases existed: cases for them, once.
        self.stack.pg.create_database("scratch", "scratchuser", "scratch-pass")
        url = self.stack.pg.url("scratchuser", "scratch-pass", "scratch")
        mkdb = [os.path.join(BUILD, "src/tools/kiosk-mkdb"), "--postgres", url]

        def scratch(sql):
            return self.stack.pg.psql(sql, "scratch").strip()
        subprocess.run(mkdb, check=True, stdout=subprocess.DEVNULL)
        scratch("drop trigger 差评案件_开立 on 评价; drop table 差评案件_记录, 差评案件")
        scratch("insert into 评价 (终端, 序号, 名称, 综合评价) values ('甲', 1, '张伟', '不满意'), "
                "('甲', 2, '张伟', '一般'), ('乙', 1, '王芳', '非常不满意'), ('乙', 2, '王芳', '满意')")
        for run in range(2):
            subprocess.run(mkdb, check=True, stdout=subprocess.DEVNULL)
            self.assertEqual(scratch("select string_agg(编号 || 终端 || 序号 || 状态, ',' order "
                                     "by 编号) from 差评案件"), "1乙1待核实,2甲1待核实", run)
            self.assertEqual(scratch("select count(*) from 差评案件_记录"), "2")
        # New rows, a repeated one among them: one case per bad rating.
        scratch("insert into 评价 (终端, 序号, 名称, 综合评价) values ('甲', 3, '张伟', '非常不满意'), "
                "('甲', 4, '张伟', '非常满意') on conflict do nothing")
        scratch("insert into 评价 (终端, 序号, 名称, 综合评价) values ('甲', 3, '张伟', '非常不满意') "
                "on conflict do nothing")
        self.assertEqual(scratch("select count(*) || ',' || max(编号) from 差评案件"), "3,3")
        # The history refuses every change, whoever asks (here the superuser).
        for name, sql in (("update", "update 差评案件_记录 set 说明 = 'x'"),
                          ("delete", "delete from 差评案件_记录"),
                          ("truncate", "truncate 差评案件_记录"),
                          ("truncate cases", "truncate 差评案件 cascade"),
                          ("delete case", "delete from 差评案件 where 编号 = 1")):
            with self.subTest(statement=name):
                with self.assertRaisesRegex(RuntimeError, "只能新增|violates foreign key"):
                    scratch(sql)
                self.assertEqual(scratch("select count(*) from 差评案件_记录"), "3")

    def test_c2_case_to_closed_in_browser(self):
        seq = self.first_bad("一号厅-1")
        case = self.case_of("一号厅-1", seq)
        self.stack.sql("insert into 评价_原因 values ('一号厅-1', %d, '等候时间太长'), "
                       "('一号厅-1', %d, '服务态度不好')" % (seq, seq))
        b = self.browser
        # The hall manager follows the alert's link, knowing only the rating's key.
        self.browser_login("hall1", "hall1-password")
        self.wait_for(lambda: b.find_elements(By.ID, "ranking"))
        b.get(self.stack.base + "/case?terminal=%s&seq=%d" % (q("一号厅-1"), seq))
        self.wait_for(lambda: b.find_elements(By.ID, "history"))
        self.assertTrue(b.current_url.endswith("/cases/%d" % case), b.current_url)
        rating = b.find_element(By.ID, "rating").text
        for text in ("一号厅-1", "一号厅", "张伟", str(seq)):
            self.assertIn(text, rating)
        self.assertEqual(b.find_element(By.ID, "reasons").text, "服务态度不好、等候时间太长")
        # No 申诉 for a hall manager.
        self.assertEqual([e.text for e in b.find_elements(By.CSS_SELECTOR, ".steps button")],
                         ["回访"])
        # Ten minutes apart by the service's clock (the session stays open).
        steps = (("callback", "已回访", 600, "已电话联系顾客，致歉"),
                 ("rectify", "已整改", 1200, "窗口加开一人"),
                 ("close", "已办结", 1800, "顾客认可"))
        for button, state, offset, note in steps:
            self.set_clock(offset)
            b.find_element(By.ID, "note").send_keys(note)
            b.find_element(By.ID, "step-" + button).click()
            self.wait_for(lambda: state in b.find_element(By.TAG_NAME, "h2").text)
        self.assertEqual(b.find_elements(By.ID, "stepForm"), [])

        def local(seconds):
            return time.strftime("%Y-%m-%d %H:%M", time.localtime(seconds))
        # Opened when the rating arrived, by the server's clock.
        opened = int(self.one("select extract(epoch from 开立时间)::bigint from 差评案件 where "
                              "编号 = %d" % case))
        expected = [[local(opened), "系统", "立案：待核实", "差评自动立案"]]
        previous = "待核实"
        for _, state, offset, note in steps:
            expected.append([local(self.now + offset), "hall1", "%s → %s" % (previous, state),
                             note])
            previous = state
        self.assertEqual(self.table_rows("history"), expected)
        self.assertEqual(self.one("select count(*) from 差评案件_记录 where 案件 = %d" % case), "4")
        # The list finds it by its state and its name.
        b.get(self.stack.base + "/cases?state=%s&name=%s" % (q("已办结"), q("张")))
        self.assertEqual([r[0] for r in self.table_rows("cases")], [str(case)])

    def test_c3_appeal_only_by_admin_with_reason(self):
        seq = self.first_bad("一号厅-2")
        case = self.case_of("一号厅-2", seq)
        _, hall1, _ = self.login("hall1", "hall1-password")
        _, admin, _ = self.login("admin", "admin-password")
        for who, cookie, note, status, message in (
                ("hall manager", hall1, "顾客误操作", 403, "只有管理员"),
                ("admin without reason", admin, "   ", 400, "请填写申诉理由"),
                ("admin, step the case is past", admin, "x", 409, "状态已变为"),
                ("admin with reason", admin, "监控显示顾客误触", 303, None)):
            with self.subTest(who=who):
                state_from = "已回访" if "past" in who else "待核实"
                status_got, _, body = self.post_step(cookie, case, state_from, "申诉", note)
                self.assertEqual(status_got, status, body[-300:])
                if message:
                    self.assertIn(message, body)
        self.assertEqual(self.one("select 状态 from 差评案件 where 编号 = %d" % case), "申诉")
        self.assertEqual(self.one("select string_agg(新状态 || 操作人 || 说明, ',' order by 编号) "
                                  "from 差评案件_记录 where 案件 = %d" % case),
                         "待核实系统差评自动立案,申诉admin监控显示顾客误触")

    def test_c4_other_hall_refused_by_every_route(self):
        seq = self.first_bad("二号厅-1")
        case = self.case_of("二号厅-1", seq)
        _, cookie, _ = self.login("hall1", "hall1-password")
        csrf = self.session_csrf(cookie)
        history = self.one("select count(*) from 差评案件_记录")
        routes = (("GET", "/cases/%d" % case, None),
                  ("POST", "/cases/%d/step" % case, {"from": "待核实", "to": "已回访", "note": "x"}),
                  ("GET", "/case?terminal=%s&seq=%d" % (q("二号厅-1"), seq), None),
                  ("GET", "/cases?terminal=" + q("二号厅-1"), None),
                  ("GET", "/cases?hall=" + q("二号厅"), None),
                  ("GET", "/api/cases/summary?from=2026-11-01&to=2026-11-30&hall=" + q("二号厅"),
                   None),
                  ("GET", "/admin/cases", None),
                  ("POST", "/admin/cases/deadlines", {"callback": "5", "rectify": "20"}),
                  ("POST", "/admin/cases/calendar", {"date": "2026-12-25", "kind": "假日"}))
        for method, path, form in routes:
            with self.subTest(method=method, path=path):
                body = urllib.parse.urlencode(dict(form, csrf=csrf)) if form else None
                status, _, text = self.request(method, path, body, cookie=cookie)
                self.assertEqual(status, 403, text[-300:])
                self.assertRegex(text, "无权|只有管理员")
                self.assertNotIn("二号厅-1", re.sub("<nav>.*?</nav>", "", text))
        self.assertEqual(self.one("select 状态 from 差评案件 where 编号 = %d" % case), "待核实")
        self.assertEqual(self.one("select count(*) from 差评案件_记录"), history)
        self.assertEqual(self.one("select count(*) from 工作日历"), "0")
        # Without a filter, the list holds exactly the hall's own cases.
        status, _, text = self.request("GET", "/cases", cookie=cookie)
        listed = sorted(int(n) for n in re.findall(r'<a href="/cases/(\d+)">', text))
        own = self.one("select string_agg(编号::text, ',' order by 编号) from 差评案件 where 终端 "
                       "in ('一号厅-1', '一号厅-2')")
        self.assertEqual(listed, [int(n) for n in own.split(",")])

    def test_c5_deadlines_on_the_calendar(self):
        # Every case of 一号厅-2 opened on Wednesday 30 September 2026 (noon UTC is that day in
        # every time zone the service may run in).
        self.stack.sql("update 差评案件 set 开立时间 = '2026-09-30 12:00+00' where 终端 = "
                       "'一号厅-2' and 状态 = '待核实'")
        ids = [int(n) for n in self.one(
            "select string_agg(编号::text, ',' order by 编号) from 差评案件 where 终端 = "
            "'一号厅-2' and 状态 = '待核实'").split(",")]
        self.assertGreaterEqual(len(ids), 3)
        def post(path, **form):
            # A new session at each call: the clock moves back and forth below.
            _, admin, _ = self.login("admin", "admin-password")
            csrf = self.session_csrf(admin)
            return self.request("POST", path, urllib.parse.urlencode(dict(form, csrf=csrf)),
                                cookie=admin)
        # The National Day week off, with the Sunday before and the Saturday after worked.
        for day in ["2026-10-0%d" % d for d in range(1, 8)]:
            self.assertSeeOther(post("/admin/cases/calendar", date=day, kind="假日", note="国庆"))
        for day in ("2026-09-27", "2026-10-10"):
            self.assertSeeOther(post("/admin/cases/calendar", date=day, kind="调休"))
        for name, path, form, message in (
                ("worked Monday", "/admin/cases/calendar", {"date": "2026-10-12", "kind": "调休"},
                 "本来就是工作日"),
                ("worked Friday", "/admin/cases/calendar", {"date": "2026-10-09", "kind": "调休"},
                 "本来就是工作日"),
                ("no real date", "/admin/cases/calendar", {"date": "2026-02-30", "kind": "假日"},
                 "日期无效"),
                ("unknown kind", "/admin/cases/calendar", {"date": "2026-10-12", "kind": "x"},
                 "类型应为"),
                ("rectify shorter", "/admin/cases/deadlines", {"callback": "5", "rectify": "3"},
                 "不能短于"),
                ("zero days", "/admin/cases/deadlines", {"callback": "0", "rectify": "3"},
                 "1 到 250"),
                ("not a number", "/admin/cases/deadlines", {"callback": "一", "rectify": "3"},
                 "1 到 250")):
            with self.subTest(case=name):
                status, _, text = post(path, **form)
                self.assertEqual(status, 400)
                self.assertIn(message, text)
        self.assertEqual(self.one("select count(*) from 工作日历"), "9")
        self.assertEqual(self.one("select count(*) from 网页设置 where 键 like 'case_%'"), "0")

        def overdue_ids():
            _, cookie, _ = self.login("hall1", "hall1-password")
            status, _, text = self.request("GET", "/cases?overdue=1&terminal=" + q("一号厅-2"),
                                           cookie=cookie)
            self.assertEqual(status, 200)
            return sorted(int(n) for n in re.findall(r'<a href="/cases/(\d+)">', text))

        def summary():
            _, cookie, _ = self.login("hall1", "hall1-password")
            status, _, text = self.request(
                "GET", "/api/cases/summary?from=2026-11-01&to=2026-11-30&terminal=" +
                q("一号厅-2"), cookie=cookie)
            self.assertEqual(status, 200)
            data = test_dashboard.json.loads(text)
            return data["callbackRate"], data["rectifyRate"], data["overdue"]
        n = len(ids)
        # Callback due on Thursday 8 October, after the holiday week.
        self.at("2026-10-08 12:00")
        self.assertEqual(overdue_ids(), [])
        _, hall1, _ = self.login("hall1", "hall1-password")
        self.assertSeeOther(self.post_step(hall1, ids[0], "待核实", "已回访", "按期回访"))
        self.at("2026-10-09 12:00")
        self.assertEqual(overdue_ids(), ids[1:])
        _, hall1, _ = self.login("hall1", "hall1-password")
        self.assertSeeOther(self.post_step(hall1, ids[1], "待核实", "已回访", "晚了一天"))
        self.assertEqual(overdue_ids(), ids[2:])
        self.assertEqual(summary(), ("%.1f%%" % (100 / n), "—", n - 2))
        # Three working days reach the worked Saturday 10 October.
        self.assertSeeOther(post("/admin/cases/deadlines", callback="3", rectify="15"))
        self.assertEqual(overdue_ids(), [])
        self.at("2026-10-11 12:00")
        self.assertEqual(overdue_ids(), ids[2:])
        # Rectification due on Tuesday 27 October.
        self.at("2026-10-27 12:00")
        _, hall1, _ = self.login("hall1", "hall1-password")
        self.assertSeeOther(self.post_step(hall1, ids[0], "已回访", "已整改", "按期整改"))
        self.at("2026-10-28 12:00")
        self.assertEqual(overdue_ids(), ids[1:])
        self.assertEqual(summary(), ("%.1f%%" % (200 / n), "%.1f%%" % (100 / n), n - 1))
        # The overview shows them beside the other figures, with the 差评率 of the rows.
        self.browser_login("hall1", "hall1-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        self.browser.get(self.stack.base + "/?from=2026-11-01&to=2026-11-30&terminal=" +
                         q("一号厅-2"))
        total = NAMES["王芳"][1] + NAMES["陈静"][1]
        bad = bad_ratings(["一号厅-2"])
        self.wait_for(lambda: self.browser.find_element(By.ID, "rectifyRate").text ==
                      "%.1f%%" % (100 / n))
        self.assertEqual(self.browser.find_element(By.ID, "badRate").text,
                         "%.1f%%" % (100 * bad / total))
        self.assertEqual(self.browser.find_element(By.ID, "overdueCount").text, str(n - 1))
        # The case page names the deadlines.
        self.browser.get(self.stack.base + "/cases/%d" % ids[2])
        self.assertIn("2026-10-10 前", self.browser.find_element(By.ID, "callbackDue").text)
        self.assertIn("逾期", self.browser.find_element(By.TAG_NAME, "h2").text)
        self.assertSeeOther(post("/admin/cases/deadlines", callback="1", rectify="15"))

    def test_c6_screenshots(self):
        if not SHOTS:
            self.skipTest("WEB_SCREENSHOTS names no folder")
        closed = self.one("select min(编号) from 差评案件 where 状态 = '已办结'")
        pending = self.one("select min(编号) from 差评案件 where 状态 = '待核实' and 终端 = "
                           "'一号厅-1'")
        self.at("2026-12-04 12:00")
        self.browser_login("admin", "admin-password")
        self.wait_for(lambda: self.browser.find_elements(By.ID, "ranking"))
        for width, height in ((360, 740), (1920, 1080)):
            self.browser.set_window_size(width, height)
            for page, name in (("/cases", "cases"), ("/cases/" + closed, "case"),
                               ("/cases/" + pending, "case-open"),
                               ("/admin/cases", "case-calendar")):
                self.browser.get(self.stack.base + page)
                self.wait_for(lambda: self.browser.find_elements(By.TAG_NAME, "table"))
                self.browser.save_screenshot(os.path.join(SHOTS, "web-%s-%dx%d.png" % (
                    name, width, height)))
        # The overview with the case figures, scrolled to them.
        self.browser.get(self.stack.base + "/?from=2026-11-01&to=2026-11-30")
        self.wait_for(lambda: self.browser.find_element(By.ID, "badRate").text != "–")
        self.browser.execute_script("document.getElementById('caseSummary').scrollIntoView()")
        self.browser.save_screenshot(os.path.join(SHOTS, "web-overview-cases-1920x1080.png"))


def load_tests(loader, tests, pattern):
    # Only this file's tests: the dashboard's own run under their own CTest entry.
    return unittest.TestSuite(Cases(name) for name in sorted(vars(Cases))
                              if name.startswith("test_"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
