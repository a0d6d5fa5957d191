#!/usr/bin/perl
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints a dBASE table as Perl's XBase (an independent reader) sees it and, with a
# tag name, walks that tag of the table's MDX with XBase::Index.
#
# Usage: dbf_xbase_dump.pl TABLE.DBF [INDEX.MDX TAG]
# Output (UTF-8): "records=N", one line per record ("*" first when deleted) with
# the values separated by " | " (undef -> <null>), then "key|record" per index entry.
use strict;
use warnings;
use XBase;
use XBase::Index;
use Encode qw(decode encode);

binmode STDOUT;
my ($dbf, $mdx, $tag) = @ARGV;
my $table = XBase->new($dbf) or die XBase->errstr;
my $last = $table->last_record;
print "records=", $last + 1, "\n";
for my $n (0 .. $last) {
    my ($deleted, @values) = $table->get_record($n);
    die $table->errstr unless defined $deleted;
    my @shown = map { defined $_ ? encode('UTF-8', decode('cp1252', $_)) : '<null>' } @values;
    print(($deleted ? '*' : ''), join(' | ', @shown), "\n");
}
$table->close;
if (defined $tag) {
    my $index = XBase::Index->new($mdx, tag => $tag) or die XBase::Index->errstr;
    $index->prepare_select;
    my $keys = 0;
    while (my ($key, $record) = $index->fetch) {
        print encode('UTF-8', decode('cp1252', $key)), "|", $record, "\n";
        ++$keys;
    }
    print "keys=$keys\n";
}
