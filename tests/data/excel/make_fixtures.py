#!/usr/bin/env python3
# Writes book.fods, the source of the workbook fixtures, and converts it
# with LibreOffice into book.xls (BIFF8), book95.xls (BIFF5) and book.xlsx:
#   python3 make_fixtures.py && soffice --headless --convert-to xls book.fods ...
# (see the commands at the end). Sheets: Alpha (values of every kind,
# formulas with number and text results, a date), Beta (hidden), Gamma
# (enough distinct texts that the shared string table runs over CONTINUE
# records, and a last text after them).
import html

def cell_text(t):
    return '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % html.escape(t)

def cell_num(v):
    return '<table:table-cell office:value-type="float" office:value="%s"/>' % v

rows_alpha = [
    [cell_text("Quarterly Report")],
    [cell_num(4711), cell_num(12.5), cell_num("1E+20")],
    ['<table:table-cell table:style-name="cdate" office:value-type="date" office:date-value="2024-03-01"/>',
     '<table:table-cell table:formula="of:=[.A2]*2"/>',
     '<table:table-cell table:formula="of:=CONCATENATE(&quot;Hello&quot;;&quot; World&quot;)"/>'],
    ['<table:table-cell office:value-type="boolean" office:boolean-value="true"/>',
     '<table:table-cell table:formula="of:=1/0"/>'],
    [cell_text("Zebra crossing")],
    [cell_text("MixedCase Keyword")],
    [cell_text("Star * and question ? and tilde ~")],
    [cell_text("Ünïcödé STRASSE")],
]
rows_beta = [[cell_text("secret hidden value")]]
rows_gamma = [[cell_text("Zebra")]]
for i in range(400):
    rows_gamma.append([cell_text("Shared string number %04d with some padding text" % i)])
rows_gamma.append([cell_text("needle after the continue boundary")])

def table(name, rows, style):
    out = ['<table:table table:name="%s" table:style-name="%s">' % (name, style),
           '<table:table-column table:number-columns-repeated="3"/>']
    for r in rows:
        out.append('<table:table-row>' + ''.join(r) + '</table:table-row>')
    out.append('</table:table>')
    return '\n'.join(out)

doc = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:date-style style:name="N1"><number:month/><number:text>/</number:text><number:day/><number:text>/</number:text><number:year number:style="long"/></number:date-style>
 <style:style style:name="cdate" style:family="table-cell" style:data-style-name="N1"/>
 <style:style style:name="ta1" style:family="table"><style:table-properties table:display="true"/></style:style>
 <style:style style:name="ta2" style:family="table"><style:table-properties table:display="false"/></style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>
%s
%s
%s
</office:spreadsheet></office:body></office:document>
''' % (table("Alpha", rows_alpha, "ta1"), table("Beta", rows_beta, "ta2"), table("Gamma", rows_gamma, "ta1"))
open("book.fods", "w", encoding="utf-8").write(doc)
# Then:
#   soffice --headless --convert-to xls book.fods
#   soffice --headless --convert-to xlsx book.fods
#   soffice --headless --convert-to 'xls:MS Excel 95' --outdir b95 book.fods && mv b95/book.xls book95.xls
