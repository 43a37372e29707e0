<?php
/*
 * db_check.php - SQL gateway of the shop for the DatenManager.
 *
 * Runs one SQL text per request against the shop database and answers in
 * plain text marks that the DatenManager reads:
 *
 *   request   insert=1 (statement) or show=2 (query), debug=1 (optional),
 *             dbhost ("host" or "host:port"), dbname, dbuser, dbpass,
 *             sql_query (the SQL text), xxl (ignored, defeats caches)
 *   statement ###row_count:N#            rows affected (or rows read)
 *             ###error:N#                MySQL error number
 *   query     +++datatype+++             then one ###column:type+length#
 *                                        per column (int, real, date,
 *                                        time, datetime, timestamp, year,
 *                                        string, blob)
 *             +++newline+++              then one ###column:value# per
 *                                        column for each row; NULL is an
 *                                        empty value
 *             ###error:N#                alone, when the query failed
 *   Lines end with <br>. Text before the first +++ mark is not data.
 *
 * Values and column names never contain a raw "#", line break, "<br>",
 * "+++newline+++" or "+++datatype+++": the script writes "#" as &#35;,
 * CR as &#13;, LF as &#10;, the "<" of "<br>" as &#60; and the first "+"
 * of the two marks as &#43; (in names also ":" as &#58;). Reading back:
 * an entry's value ends at the first "#" that is not part of a decimal
 * reference "&#" digits ";", and every such reference is the character
 * of that code. Since every "#" of the data is written as &#35;, a
 * literal "&#35;" in the data arrives as "&&#35;35;" and reads back
 * unchanged.
 *
 * Without sql_query the page shows the form "form1" (fields dbhost,
 * dbname, dbuser, dbpass, debug, show, insert, sql_query, button Submit).
 * db_check.php takes its values from the address and from a posted form
 * (posted values win); db_check2.php ("Globals Off") only from the posted
 * form.
 *
 * Character set: the connection and the page use the shop's character set,
 * "$dbcharset" in config/config.php (latin1, which MySQL treats as
 * Windows-1252, when the file has none); the page says so in its
 * Content-Type header. An SQL text that arrives as UTF-8 is
 * recognised and read as UTF-8. The session adds NO_BACKSLASH_ESCAPES to
 * sql_mode, so a backslash in a quoted text is an ordinary character.
 *
 * Works with PHP 7.0 to 8.x and mysqli.
 */

// The shop's character set: "$dbcharset" of config/config.php, else latin1.
// The file is read, not run, so nothing in it can disturb the answer.
function mv_configured_charset()
{
    $file = __DIR__ . '/../../config/config.php';
    if (@is_readable($file)) {
        $text = @file_get_contents($file);
        if (is_string($text)
            && preg_match('/^\s*\$dbcharset\s*=\s*"([A-Za-z0-9_]+)"/m', $text, $m)) {
            return strtolower($m[1]);
        }
    }
    return 'latin1';
}

if (!defined('MV_DB_CHARSET')) {
    define('MV_DB_CHARSET', mv_configured_charset());
}

// Never let a PHP notice or warning into the answer page.
@ini_set('display_errors', '0');
@ini_set('html_errors', '0');
error_reporting(E_ALL);
if (function_exists('mysqli_report')) {
    mysqli_report(MYSQLI_REPORT_OFF);
}

function mv_http_charset($cs)
{
    $cs = strtolower($cs);
    if ($cs === 'latin1') {
        return 'windows-1252';
    }
    if ($cs === 'utf8' || $cs === 'utf8mb3' || $cs === 'utf8mb4') {
        return 'utf-8';
    }
    return $cs;
}

function mv_charset_width($cs)
{
    $cs = strtolower($cs);
    if ($cs === 'utf8mb4') {
        return 4;
    }
    if ($cs === 'utf8' || $cs === 'utf8mb3') {
        return 3;
    }
    if ($cs === 'ucs2' || $cs === 'utf16') {
        return 2;
    }
    if ($cs === 'utf32') {
        return 4;
    }
    return 1;
}

// Marks-safe value: see the head comment.
function mv_value($s)
{
    static $map = array(
        '#' => '&#35;',
        "\r" => '&#13;',
        "\n" => '&#10;',
        '<br>' => '&#60;br>',
        '+++newline+++' => '&#43;++newline+++',
        '+++datatype+++' => '&#43;++datatype+++',
    );
    return strtr((string)$s, $map);
}

// Column names also lose ":", which would end the name.
function mv_name($s)
{
    return str_replace(':', '&#58;', mv_value($s));
}

// Text for people (debug lines, error messages, form values): HTML-escaped
// and free of "#" and "+" so it can never be read as a mark.
function mv_html($s)
{
    return strtr((string)$s, array(
        '&' => '&amp;', '<' => '&lt;', '>' => '&gt;', '"' => '&quot;',
        "'" => '&#39;', '#' => '&#35;', '+' => '&#43;',
    ));
}

// The query string split at "&" only: a ";" in the SQL text must not end a
// value even where arg_separator.input includes it.
function mv_query_params()
{
    $params = array();
    $qs = isset($_SERVER['QUERY_STRING']) ? (string)$_SERVER['QUERY_STRING'] : '';
    if ($qs === '') {
        return $params;
    }
    foreach (explode('&', $qs) as $part) {
        if ($part === '') {
            continue;
        }
        $eq = strpos($part, '=');
        if ($eq === false) {
            $params[urldecode($part)] = '';
        } else {
            $params[urldecode(substr($part, 0, $eq))] = urldecode(substr($part, $eq + 1));
        }
    }
    return $params;
}

function mv_param($params, $name)
{
    if (isset($params[$name]) && is_string($params[$name])) {
        return $params[$name];
    }
    return '';
}

function mv_is_utf8_text($s)
{
    // Only texts with bytes above 127 can tell; those must be valid UTF-8.
    return preg_match('/[\x80-\xFF]/', $s) === 1 && preg_match('//u', $s) === 1;
}

// "host", "host:port", "[v6]:port", "localhost:/path/to/socket"
function mv_split_host($host)
{
    $host = trim($host);
    $port = null;
    $socket = null;
    if ($host === '') {
        return array('localhost', null, null);
    }
    if ($host[0] === '[') {
        $end = strpos($host, ']');
        if ($end !== false) {
            $rest = substr($host, $end + 1);
            $h = substr($host, 1, $end - 1);
            if (strlen($rest) > 1 && $rest[0] === ':' && preg_match('/^[0-9]+$/', substr($rest, 1)) === 1) {
                $port = (int)substr($rest, 1);
            }
            return array($h, $port, null);
        }
    }
    $colon = strrpos($host, ':');
    if ($colon !== false && substr_count($host, ':') === 1) {
        $tail = substr($host, $colon + 1);
        $h = substr($host, 0, $colon);
        if ($tail !== '' && preg_match('/^[0-9]+$/', $tail) === 1) {
            $port = (int)$tail;
            $host = $h;
            // "localhost" would take the local socket and ignore the port.
            if (strtolower($host) === 'localhost') {
                $host = '127.0.0.1';
            }
        } elseif ($tail !== '' && $tail[0] === '/') {
            $socket = $tail;
            $host = $h;
        }
    }
    return array($host, $port, $socket);
}

function mv_type_text($f, $width)
{
    $t = (int)$f->type;
    $len = (int)$f->length;
    switch ($t) {
        case 1: case 2: case 3: case 8: case 9: case 16:
            $name = 'int';
            break;
        case 0: case 4: case 5: case 246:
            $name = 'real';
            break;
        case 7:
            $name = 'timestamp';
            break;
        case 10: case 14:
            $name = 'date';
            break;
        case 11:
            $name = 'time';
            break;
        case 12:
            $name = 'datetime';
            break;
        case 13:
            $name = 'year';
            break;
        case 245: case 249: case 250: case 251: case 252:
            $name = 'blob';
            break;
        case 6:
            $name = 'null';
            break;
        case 15: case 247: case 248: case 253: case 254:
            $name = 'string';
            // Lengths come in bytes of the page's character set.
            if ((int)$f->charsetnr !== 63 && $width > 1) {
                $len = (int)ceil($len / $width);
            }
            break;
        default:
            $name = 'unknown';
    }
    return $name . '+' . $len;
}

function mv_page_start($charset)
{
    echo '<html><head><meta http-equiv="Content-Type" content="text/html; charset=', $charset,
        '"><title>db_check</title></head><body>', "\n";
}

function mv_page_end()
{
    echo "</body></html>\n";
}

function mv_form($script, $charset, $v)
{
    mv_page_start($charset);
    echo '<form name="form1" id="form1" method="post" action="', mv_html($script),
        '" accept-charset="', $charset, '">', "\n";
    $fields = array('dbhost' => 'text', 'dbname' => 'text', 'dbuser' => 'text', 'dbpass' => 'password',
        'debug' => 'text', 'show' => 'text', 'insert' => 'text');
    foreach ($fields as $name => $type) {
        echo $name, ': <input type="', $type, '" name="', $name, '" value="',
            mv_html(isset($v[$name]) ? $v[$name] : ''), '"><br>', "\n";
    }
    echo 'sql_query:<br><textarea name="sql_query" rows="10" cols="80"></textarea><br>', "\n";
    echo '<input type="submit" name="Submit" value="Submit">', "\n";
    echo "</form>\n";
    mv_page_end();
}

function mv_error_answer($errno, $error)
{
    echo '###error:', (int)$errno, '#<br>', "\n";
    if ($error !== '') {
        echo 'MySQL: ', mv_html($error), "<br>\n";
    }
}

function mv_run($globalsOff)
{
    $charset = MV_DB_CHARSET;
    $httpCharset = mv_http_charset($charset);
    if (!headers_sent()) {
        header('Content-Type: text/html; charset=' . $httpCharset);
        header('Cache-Control: no-store, no-cache, must-revalidate');
        header('Pragma: no-cache');
        header('Expires: 0');
    }

    $post = (isset($_POST) && is_array($_POST)) ? $_POST : array();
    if ($globalsOff) {
        $params = $post;
    } else {
        $params = array_merge(mv_query_params(), $post);
    }
    $v = array();
    foreach (array('dbhost', 'dbname', 'dbuser', 'dbpass', 'debug', 'show', 'insert', 'sql_query') as $n) {
        $v[$n] = mv_param($params, $n);
    }
    $script = $globalsOff ? 'db_check2.php' : 'db_check.php';

    $sql = $v['sql_query'];
    if (trim($sql) === '') {
        mv_form($script, $httpCharset, $globalsOff ? array() : $v);
        return;
    }

    @set_time_limit(0);
    $isQuery = trim($v['show']) === '2';
    $debug = trim($v['debug']) === '1';
    $started = microtime(true);

    mv_page_start($httpCharset);
    if ($debug) {
        $shown = strlen($sql) > 300 ? substr($sql, 0, 300) . ' ...' : $sql;
        echo '<!-- ', mv_html($shown), ' -->', "\n";
    }

    list($host, $port, $socket) = mv_split_host($v['dbhost']);
    $db = mysqli_init();
    if (!$db) {
        mv_error_answer(2000, 'mysqli_init');
        mv_page_end();
        return;
    }
    @$db->options(MYSQLI_OPT_CONNECT_TIMEOUT, 20);
    $ok = @$db->real_connect($host, $v['dbuser'], $v['dbpass'], null, $port, $socket);
    if (!$ok) {
        $errno = mysqli_connect_errno();
        mv_error_answer($errno ? $errno : 2002, (string)mysqli_connect_error());
        mv_page_end();
        return;
    }
    if (!@$db->set_charset($charset)) {
        mv_error_answer($db->errno ? $db->errno : 2019, (string)$db->error);
        @$db->close();
        mv_page_end();
        return;
    }
    @$db->query("SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), 'NO_BACKSLASH_ESCAPES')");
    if (mv_http_charset($charset) !== 'utf-8' && mv_is_utf8_text($sql)) {
        // The text came as UTF-8; the answer stays in the page's character set.
        @$db->query('SET character_set_client = utf8mb4, character_set_connection = utf8mb4');
    }
    // An unknown database must not stop "SHOW DATABASES" or "CREATE DATABASE":
    // remember its error and report it only if the statement needs a database.
    $dbErrno = 0;
    $dbError = '';
    $dbname = trim($v['dbname']);
    if ($dbname !== '' && !@$db->select_db($dbname)) {
        $dbErrno = $db->errno;
        $dbError = (string)$db->error;
    }

    $result = @$db->query($sql, MYSQLI_USE_RESULT);
    if ($result === false) {
        $errno = $db->errno;
        $error = (string)$db->error;
        if ($errno === 1046 && $dbErrno) {
            $errno = $dbErrno;
            $error = $dbError;
        }
        mv_error_answer($errno ? $errno : 2000, $error);
    } elseif ($result === true) {
        $n = $db->affected_rows;
        echo '###row_count:', ($n < 0 ? 0 : $n), '#<br>', "\n";
        if ($isQuery) {
            // No columns: an empty type record keeps the answer a query answer.
            echo "+++datatype+++<br>\n";
        }
    } else {
        $fields = $result->fetch_fields();
        if (!is_array($fields)) {
            $fields = array();
        }
        $names = array();
        $isDate = array();
        foreach ($fields as $i => $f) {
            $names[$i] = mv_name($f->name);
            $isDate[$i] = ((int)$f->type === 10 || (int)$f->type === 14);
        }
        $rows = 0;
        if ($isQuery) {
            $width = mv_charset_width($charset);
            echo "+++datatype+++<br>\n";
            foreach ($fields as $i => $f) {
                echo '###', $names[$i], ':', mv_type_text($f, $width), '#<br>', "\n";
            }
            $count = count($names);
            while (($row = $result->fetch_row()) !== null && $row !== false) {
                $out = "+++newline+++<br>\n";
                for ($i = 0; $i < $count; $i++) {
                    $cell = $row[$i];
                    if ($cell === null || ($isDate[$i] && $cell === '0000-00-00')) {
                        $cell = '';
                    }
                    $out .= '###' . $names[$i] . ':' . mv_value($cell) . "#<br>\n";
                }
                echo $out;
                ++$rows;
            }
        } else {
            while (($row = $result->fetch_row()) !== null && $row !== false) {
                ++$rows;
            }
        }
        $errno = $db->errno;
        $error = (string)$db->error;
        $result->free();
        if ($errno) {
            // Failed while reading: a last record carries the error.
            if ($isQuery) {
                echo "+++newline+++<br>\n";
            }
            mv_error_answer($errno, $error);
        } elseif (!$isQuery) {
            echo '###row_count:', $rows, '#<br>', "\n";
        }
    }
    @$db->close();
    if ($debug) {
        echo '<!-- ', round((microtime(true) - $started) * 1000), ' ms -->', "\n";
    }
    mv_page_end();
}

if (!defined('MV_DB_CHECK_INCLUDED')) {
    try {
        mv_run(false);
    } catch (Exception $e) {
        echo '###error:2000#<br>', "\n", mv_html($e->getMessage()), "\n";
    } catch (Throwable $e) {
        echo '###error:2000#<br>', "\n", mv_html($e->getMessage()), "\n";
    }
}
