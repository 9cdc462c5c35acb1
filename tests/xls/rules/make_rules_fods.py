#!/usr/bin/python3
"""Writes a flat OpenDocument spreadsheet with conditional formats (cell values between and
above, a formula with a relative row), validations (whole number with messages, a list of
words, a list from a range) and an autofilter with a criterion, which LibreOffice then saves
as BIFF8 for the rule tests.

usage: make_rules_fods.py FILE
"""
import sys
HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:styles>
 <style:style style:name="Bad" style:family="table-cell"><style:table-cell-properties fo:background-color="#ff0000" fo:border="0.5pt solid #0000ff"/><style:text-properties fo:font-weight="bold" fo:color="#ffffff"/></style:style>
 <style:style style:name="Good" style:family="table-cell"><style:table-cell-properties fo:background-color="#00ff00"/><style:text-properties fo:font-style="italic"/></style:style>
</office:styles>
<office:automatic-styles>
 <style:style style:name="cf1" style:family="table-cell">
  <style:map style:condition="cell-content-is-between(1,10)" style:apply-style-name="Bad" style:base-cell-address="Sheet1.B2"/>
  <style:map style:condition="cell-content()&gt;100" style:apply-style-name="Good" style:base-cell-address="Sheet1.B2"/>
 </style:style>
 <style:style style:name="cf2" style:family="table-cell">
  <style:map style:condition="is-true-formula($A4&gt;5)" style:apply-style-name="Good" style:base-cell-address="Sheet1.C4"/>
 </style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>
<table:content-validations>
 <table:content-validation table:name="val1" table:condition="of:cell-content-is-whole-number() and of:cell-content-is-between(1;100)" table:allow-empty-cell="true" table:base-cell-address="Sheet1.E2">
  <table:help-message table:title="Enter"><text:p>A number from 1 to 100</text:p></table:help-message>
  <table:error-message table:message-type="stop" table:title="Wrong" table:display="true"><text:p>Out of range</text:p></table:error-message>
 </table:content-validation>
 <table:content-validation table:name="val2" table:condition="of:cell-content-is-in-list(&quot;red&quot;;&quot;green&quot;;&quot;blue&quot;)" table:allow-empty-cell="true" table:display-list="unsorted" table:base-cell-address="Sheet1.F2"/>
 <table:content-validation table:name="val3" table:condition="of:cell-content-is-in-list($Sheet1.$A$2:$A$6)" table:allow-empty-cell="true" table:display-list="unsorted" table:base-cell-address="Sheet1.G2"/>
</table:content-validations>
<table:table table:name="Sheet1">
<table:table-column table:number-columns-repeated="8"/>
"""
rows = []
rows.append('<table:table-row>' + ''.join('<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % h for h in ["Name","Value","Flag","Kind"]) + '<table:table-cell table:number-columns-repeated="4"/></table:table-row>')
data = [("alpha",5,"TRUE","x"),("beta",50,"FALSE","y"),("gamma",500,"TRUE","x"),("delta",7,"FALSE","z"),("eps",1,"TRUE","x")]
for i,(n,v,f,k) in enumerate(data):
    cells = '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % n
    cells += '<table:table-cell table:style-name="cf1" office:value-type="float" office:value="%d"><text:p>%d</text:p></table:table-cell>' % (v,v)
    cells += '<table:table-cell%s office:value-type="boolean" office:boolean-value="%s"><text:p>%s</text:p></table:table-cell>' % (' table:style-name="cf2"' if i>=2 else '', f.lower(), f)
    cells += '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % k
    cells += '<table:table-cell table:content-validation-name="val1"/>'
    cells += '<table:table-cell table:content-validation-name="val2"/>'
    cells += '<table:table-cell table:content-validation-name="val3"/>'
    cells += '<table:table-cell/>'
    rows.append('<table:table-row>%s</table:table-row>' % cells)
TAIL = """</table:table>
</office:spreadsheet></office:body></office:document>
"""
DB = """<table:database-ranges>
 <table:database-range table:name="__Anonymous_Sheet_DB__0" table:target-range-address="Sheet1.A1:Sheet1.D6" table:display-filter-buttons="true">
  <table:filter><table:filter-and>
   <table:filter-condition table:field-number="3" table:value="x" table:operator="="/>
   <table:filter-condition table:field-number="1" table:value="2" table:operator="top percent" table:data-type="number"/>
  </table:filter-and></table:filter>
 </table:database-range>
</table:database-ranges>
"""
open(sys.argv[1],"w").write(HEAD + "\n".join(rows) + "\n</table:table>\n" + DB + "</office:spreadsheet></office:body></office:document>\n")
