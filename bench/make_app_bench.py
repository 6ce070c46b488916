#!/usr/bin/python3
# A filled client template of N rows (default 10,000), written by python3-xlwt; deterministic.
import random
import sys

import xlwt

CAPTIONS = ["部门", "最后更新", "客户名称", "省份", "地区", "详细地址", "邮编", "联系人", "职位",
            "手机", "联系电话", "传真号码", "企业网站", "客户邮箱", "产品分类", "产品小类", "客户类型",
            "客户级别", "客户来源", "主营项目", "备注其它"]
PROVINCES = ["浙江", "江苏", "广东", "北京", "上海", "四川", "湖北", "山东"]
WORDS = ["华东", "北方", "新材料", "机械", "贸易", "科技", "电子", "化工", "食品", "纺织"]


def main(path, rows):
    rnd = random.Random(20261211)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("客户")
    for c, text in enumerate(CAPTIONS):
        sheet.write(0, c, text)
    for r in range(1, rows + 1):
        company = "%s%s有限公司%05d" % (rnd.choice(WORDS), rnd.choice(WORDS), r)
        values = ["销售部", "", company, rnd.choice(PROVINCES), "市区", "人民路%d号" % rnd.randint(1, 999),
                  "%06d" % rnd.randint(100000, 999999), "联系人%d" % r, "经理",
                  "138%08d" % rnd.randint(0, 99999999), "0571-%08d" % rnd.randint(0, 99999999), "",
                  "www.example%d.com" % r, "c%d@example.com" % r, "机械", "零件", "A", "1", "网络",
                  "主营项目%d" % r, "备注"]
        for c, text in enumerate(values):
            if text:
                sheet.write(r, c, text)
    book.save(path)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 10000)
