<?xml version="1.0" encoding="UTF-8"?>
<!-- The footnotes, then the endnotes, of a flat OpenDocument text as plain text:
     each note's number, a blank and its paragraphs, one a line. make-rtf-corpus
     adds them to LibreOffice's text of a document, which leaves them out. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">
  <xsl:output method="text" encoding="UTF-8"/>
  <xsl:template match="/">
    <xsl:apply-templates select="//text:note[@text:note-class='footnote']"/>
    <xsl:apply-templates select="//text:note[@text:note-class='endnote']"/>
  </xsl:template>
  <xsl:template match="text:note">
    <xsl:value-of select="text:note-citation"/>
    <xsl:text> </xsl:text>
    <xsl:for-each select="text:note-body//text:p | text:note-body//text:h">
      <xsl:apply-templates select="node()"/>
      <xsl:text>&#10;</xsl:text>
    </xsl:for-each>
  </xsl:template>
  <xsl:template match="text:tab | text:s | text:line-break"><xsl:text> </xsl:text></xsl:template>
  <xsl:template match="text:note-citation"/>
  <xsl:template match="text()"><xsl:value-of select="."/></xsl:template>
</xsl:stylesheet>
