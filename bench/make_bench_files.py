#!/usr/bin/python3
"""Writes the read benchmark's workbooks with python3-xlwt (a peer writer), deterministically.

  bench/make_bench_files.py [OUT_DIR]     (default /tmp/xlsb-bench-read)

a_clients.xls   header + 10,000 client rows x 21 columns: Chinese text, phone numbers, dates
                with a date format
b_numbers.xls   65,535 rows x 20 columns of numbers
c_strings.xls   65,535 rows x 10 columns of strings with many repeats and non-Latin text
"""
import datetime
import os
import random
import sys

import xlwt

CAPTIONS = ["公司名称", "联系人", "职务", "手机", "电话", "传真", "邮箱", "地址", "邮编", "城市",
            "省份", "行业", "规模", "来源", "等级", "状态", "首次联系", "最近联系", "销售员",
            "备注", "编号"]
SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗"
GIVEN = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英"
WORDS = ["科技", "贸易", "实业", "电子", "机械", "化工", "服装", "食品", "建材", "物流", "咨询",
         "网络", "医药", "文化", "传媒", "能源", "环保", "汽车", "家居", "教育"]
CITIES = ["北京", "上海", "广州", "深圳", "杭州", "南京", "成都", "武汉", "西安", "重庆",
          "天津", "苏州", "长沙", "郑州", "青岛"]
LATIN = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta"]
CYRILLIC = ["Москва", "Санкт-Петербург", "Новосибирск", "Екатеринбург", "Казань"]
GREEK = ["Αθήνα", "Θεσσαλονίκη", "Πάτρα", "Ηράκλειο"]
JAPANESE = ["東京都", "大阪府", "京都府", "北海道", "福岡県"]


def name(rng):
    return rng.choice(SURNAMES) + rng.choice(GIVEN) + (rng.choice(GIVEN) if rng.random() < .6 else "")


def clients(path, rng):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("客户")
    date_style = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    for c, caption in enumerate(CAPTIONS):
        ws.write(0, c, caption)
    base = datetime.date(2015, 1, 1)
    for r in range(1, 10001):
        city = rng.choice(CITIES)
        row = [
            city + rng.choice(WORDS) + rng.choice(WORDS) + "有限公司",
            name(rng),
            rng.choice(["经理", "总监", "主管", "采购", "总经理"]),
            "1%d%09d" % (rng.randint(3, 9), rng.randint(0, 999999999)),
            "0%d-%08d" % (rng.randint(10, 99), rng.randint(0, 99999999)),
            "0%d-%08d" % (rng.randint(10, 99), rng.randint(0, 99999999)),
            "user%d@example.com" % rng.randint(1, 10**6),
            city + "市" + rng.choice(WORDS) + "路%d号" % rng.randint(1, 999),
            "%06d" % rng.randint(100000, 999999),
            city,
            rng.choice(["广东", "江苏", "浙江", "四川", "湖北"]),
            rng.choice(WORDS),
            rng.choice(["小型", "中型", "大型"]),
            rng.choice(["展会", "网络", "介绍", "电话"]),
            rng.choice("ABCD"),
            rng.choice(["潜在", "意向", "成交", "流失"]),
            base + datetime.timedelta(days=rng.randint(0, 2000)),
            base + datetime.timedelta(days=rng.randint(0, 2000)),
            name(rng),
            rng.choice(["", "重要客户", "需回访", "已寄样品", "价格敏感"]),
            r,
        ]
        for c, v in enumerate(row):
            if isinstance(v, datetime.date):
                ws.write(r, c, v, date_style)
            else:
                ws.write(r, c, v)
    wb.save(path)


def numbers(path, rng):
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Numbers")
    for r in range(65535):
        for c in range(20):
            kind = (r + c) % 4
            if kind == 0:
                v = rng.randint(0, 100000)
            elif kind == 1:
                v = round(rng.uniform(-1e6, 1e6), 2)
            elif kind == 2:
                v = rng.random()
            else:
                v = rng.randint(-50, 50) * 0.25
            ws.write(r, c, v)
    wb.save(path)


def strings(path, rng):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Strings")
    pools = [LATIN, CYRILLIC, GREEK, JAPANESE, WORDS, CITIES]
    for r in range(65535):
        for c in range(10):
            pool = pools[(r * 7 + c) % len(pools)]
            v = rng.choice(pool)
            if c == 9:
                v += " %d" % (r % 500)
            ws.write(r, c, v)
    wb.save(path)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "/tmp/xlsb-bench-read"
    os.makedirs(out, exist_ok=True)
    for fname, fn, seed in (("a_clients.xls", clients, 1), ("b_numbers.xls", numbers, 2),
                            ("c_strings.xls", strings, 3)):
        path = os.path.join(out, fname)
        fn(path, random.Random(seed))
        print("%s: %d bytes" % (path, os.path.getsize(path)))


if __name__ == "__main__":
    main()
