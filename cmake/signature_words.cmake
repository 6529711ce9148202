# What a signed build's players' README.txt and game page say of the signatures, true of the
# certificate that made them, as cmake/sign.sh found it (SIGNER_VALUES): the signer as Windows
# names it; that Windows calls the signature OK, where the publisher declared the chain's root one
# that Windows trusts, or else only where a computer trusts that root; and, without a time stamp,
# the day the signatures stop verifying. make_site.cmake includes it after PUBLISHER_VALUES; run alone,
#   cmake -DSOURCE_DIR= -DPROJECT_VERSION= -DPUBLISHER_VALUES= -DSIGNER_VALUES= -DREADME= -P signature_words.cmake
# writes the README.txt of docs/players-readme.txt.in to README.
include(${SIGNER_VALUES})

# The sentences, in Chinese and in English, with the names as given: plain text or markup.
function(signature_words signer root out_zh out_en)
  set(zh "数字签名：SMorvala.exe、安装程序和它安装的卸载程序都带有“${signer}”的数字签名。"
         "在 Windows 中右键点击文件，选择“属性”，打开“数字签名”选项卡，签名者一栏显示“${signer}”。")
  set(en "Signature: SMorvala.exe, the setup program and the uninstaller it installs are signed by ${signer}."
         "On Windows, right-click the file, choose Properties and open the Digital Signatures tab (数字签名):"
         "it names the signer.")
  if(SIGNER_ROOT_TRUSTED)
    list(APPEND zh "选中签名后点击“详细信息”，应显示“此数字签名正常”。")
    list(APPEND en "Its Details should say that the signature is OK.")
  else()
    list(APPEND zh "它的证书最终由“${root}”签发：只有在信任这个机构的电脑上，"
                   "“详细信息”才显示“此数字签名正常”，在其他电脑上 Windows 的安全警告把发布者显示为“未知发布者”。")
    list(APPEND en "Its certificate goes back to ${root}: only a computer that trusts that authority"
                   "says in the Details that the signature is OK, and elsewhere Windows warns of an unknown publisher.")
  endif()
  list(APPEND zh "文件在签名后被改动过，签名就不再有效。")
  list(APPEND en "A file changed after it was signed has no valid signature.")
  if(SIGNATURES_UNTIL)
    list(APPEND zh "这些签名没有时间戳：证书在 ${SIGNATURES_UNTIL} 到期后，Windows 不再认为它们有效。")
    list(APPEND en "The signatures carry no time stamp: once the certificate expires on ${SIGNATURES_UNTIL},"
                   "Windows no longer takes them as valid.")
  endif()
  set(${out_zh} "${zh}" PARENT_SCOPE)
  set(${out_en} "${en}" PARENT_SCOPE)
endfunction()

include(${PUBLISHER_VALUES})
if(DEFINED README)
  # The template's lines end in CR LF, and so do these.
  signature_words("${SIGNER}" "${SIGNER_ROOT}" zh en)
  list(JOIN zh "\r\n" SIGNATURE_ZH)
  list(JOIN en "\r\n" SIGNATURE_EN)
  set(SIGNATURE_ZH "\r\n\r\n${SIGNATURE_ZH}")
  set(SIGNATURE_EN "\r\n\r\n${SIGNATURE_EN}")
  configure_file(${SOURCE_DIR}/docs/players-readme.txt.in ${README} @ONLY NEWLINE_STYLE CRLF)
else()
  foreach(name SIGNER SIGNER_ROOT)
    string(REPLACE "&" "&amp;" markup "${${name}}")
    string(REPLACE "<" "&lt;" markup "${markup}")
    string(REPLACE ">" "&gt;" ${name}_MARKUP "${markup}")
  endforeach()
  signature_words("${SIGNER_MARKUP}" "${SIGNER_ROOT_MARKUP}" zh en)
  list(JOIN zh "" SIGNATURE)
  list(JOIN en " " SIGNATURE_EN)
  set(SIGNATURE "\n<p>${SIGNATURE}</p>")
  set(SIGNATURE_EN " ${SIGNATURE_EN}")
endif()
