"""make run-center: a private PostgreSQL with a demo year (3 halls, 4 kiosks each, 14 names,
50,000 ratings), a demo account, kiosk-web and nginx with a self-signed certificate; prints the
address and the login and runs until Ctrl+C, then stops everything and removes its data."""

import os
import signal
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "../tests/web"))
import webstack  # noqa: E402

HALLS = ["一号厅", "二号厅", "三号厅"]
NAMES = ["张伟", "王芳", "李娜", "刘洋", "陈静", "杨磊", "赵敏", "黄勇", "周婷", "吴刚",
         "综合窗口 1", "综合窗口 2", "税务窗口", "社保窗口"]
RATINGS = 50000
DEMO_USER, DEMO_PASSWORD = "demo", "demo-password"


def sql_array(items):
    return "array[" + ",".join("'" + i.replace("'", "''") + "'" for i in items) + "]"


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    print("正在启动私有 PostgreSQL、kiosk-web 和 nginx …", flush=True)
    stack = webstack.WebStack(build)
    try:
        kiosks = ["%s-%d号机" % (hall, n) for hall in HALLS for n in range(1, 5)]
        # Spread over this year up to today, every kiosk and name, each name with its own mix
        # of grades; the same rows on every run of the same day.
        stack.sql(
            "insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价) "
            "select k[1 + g %% 12], g, n[1 + x], "
            "to_char(current_date - (g * 7919) %% (current_date - date_trunc('year', "
            "current_date)::date + 1), 'YYYY-MM-DD'), "
            "to_char(time '08:30' + ((g * 37) %% 30000) * interval '1 second', 'HH24:MI:SS'), "
            "(array['非常满意','比较满意','一般','不满意','非常不满意'])[case "
            "when w < 6 + x %% 5 then 1 when w < 13 then 2 when w < 16 then 3 "
            "when w < 18 then 4 else 5 end] "
            "from (select g, (g * 31 + g / 97) %% 14 as x, (g * 17 + g / 13) %% 20 as w, "
            "%s as k, %s as n from generate_series(1, %d) g) s" %
            (sql_array(kiosks), sql_array(NAMES), RATINGS))
        stack.add_user(DEMO_USER, DEMO_PASSWORD)
        for kiosk in kiosks:
            stack.sql("insert into 终端大厅 values ('%s', '%s')" % (kiosk, kiosk.split("-")[0]))
        # What the kiosks' forwarders would report; the last one has been silent for an hour.
        stack.sql("insert into 终端状态 select k, now() - case when k = '%s' then "
                  "interval '1 hour' else interval '20 seconds' end, 0, '1.0', 40000000000 "
                  "from unnest(%s) k" % (kiosks[-1], sql_array(kiosks)))
        stack.start_web()
        stack.start_nginx()
        print("\n仪表板：%s/   （自签名证书，浏览器会提示）" % stack.base)
        print("登录：用户名 %s，密码 %s" % (DEMO_USER, DEMO_PASSWORD))
        print("数据：%d 条评价，%d 台终端，%d 个名称；按 Ctrl+C 结束。\n" %
              (RATINGS, len(kiosks), len(NAMES)), flush=True)
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
        signal.signal(signal.SIGINT, signal.default_int_handler)
        try:
            while True:
                signal.pause()
        except KeyboardInterrupt:
            pass
    finally:
        print("\n正在停止 …", flush=True)
        stack.close()


if __name__ == "__main__":
    main()
