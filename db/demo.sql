-- Demo data: a few salespeople and two clients.
INSERT OR IGNORE INTO [user] (uName, uRole) VALUES ('张伟', '业务员'), ('李娜', '业务员'),
  ('王芳', '业务员'), ('admin', '管理员');
INSERT INTO Client (cdate, cYn, cCompany, cArea, cSquare, cAddress, cZip, cLinkman, cZhiwei,
                    cMobile, cTel, cUser)
SELECT datetime('now', 'localtime'), '1', '华东机械有限公司', '浙江', '杭州', '文三路 100 号',
       '310000', '陈明', '经理', '13800000001', '0571-88000001', '张伟'
WHERE NOT EXISTS (SELECT 1 FROM Client WHERE cCompany = '华东机械有限公司');
INSERT INTO Client (cdate, cYn, cCompany, cArea, cSquare, cAddress, cZip, cLinkman, cZhiwei,
                    cMobile, cTel, cUser)
SELECT datetime('now', 'localtime'), '1', '北方贸易公司', '北京', '海淀', '中关村大街 1 号',
       '100080', '刘洋', '采购', '13900000002', '010-62000002', '李娜'
WHERE NOT EXISTS (SELECT 1 FROM Client WHERE cCompany = '北方贸易公司');
